#!/usr/bin/env bash
# End to end where the users are: pellix.exe with the real KEYWEDGE.DLL ("-98", the path that
# keys sent from outside can drive under Wine). Wine's notepad (an Edit control) and wordpad
# (a RichEdit20W) get the user's own words, a scan in each output style and terminator (Tab,
# line feed, carriage return), and the user's words again: exactly those, in order, nothing
# stray. A program with a row of its own on the Applications page scans with that row's
# profile (its program launched, its Auto-ISBN), and notepad, in front a moment later, with
# the current one. Then a stand-in remote-desktop client (pellix-remote-client: it rebuilds its text
# from the scan codes it receives and loses a key pressed sooner than 8 ms after the previous
# one) gets scans exactly as mstsc.exe with the default settings, loses keys under a name not
# on the list (the stand-in is strict), and gets them exactly once that name has a row with a
# pace. Keyboard layouts: layouts_e2e.sh.
#   apps_e2e.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
pellix_pid="" client_pid=""
stop_pellix() {
  [ -n "$pellix_pid" ] || return 0
  e2e_quit_pellix || true
  e2e_stop "$pellix_pid"
  pellix_pid=""
}
finish() {
  [ -z "$client_pid" ] || e2e_stop "$client_pid"
  stop_pellix
  wine reg delete 'HKCU\Software\Obrelle Works' /f >/dev/null 2>&1 || true
  e2e_end
}
trap finish EXIT

rm -rf "$work" && mkdir -p "$work"

# Starts Pellix with output style $1, separator $2 and terminator $3 (character codes), and
# the REGEDIT4 lines $4 (other keys).
start_pellix() {
  stop_pellix
  { e2e_settings "$(printf '"Style"=dword:%08x' "$1")" "$(printf '"SepChar"=dword:%08x' "$2")" \
      "$(printf '"TermChar"=dword:%08x' "$3")"; printf '%s' "${4:-}"; } >"$work/settings.reg"
  e2e_load_settings "$work/settings.reg"
  e2e_start_pellix
}

serial=00000000012345
echo "== notepad and wordpad: the user's words, a scan, the user's words"
# style, separator, terminator, what the scan types
while read -r style sep term; do
  start_pellix "$style" "$sep" "$term"
  case $style in
    0) scan_text="9780262033848" ;;
    1) scan_text="IB5$(printf "\\x$(printf %x "$sep")")9780262033848" ;;
    2) scan_text="$serial$(printf "\\x$(printf %x "$sep")")9780262033848" ;;
    3) s=$(printf "\\x$(printf %x "$sep")"); scan_text="$serial${s}IB5${s}9780262033848" ;;
  esac
  case $term in 9) t=$'\t' ;; 10 | 13) t=$'\n' ;; esac
  for app in notepad wordpad; do
    e2e_start_app "$app"
    xdotool type --delay 20 "before "
    e2e_app_text "$cls" "$child" "before " || fail "$app: the user's words"
    e2e_scan --serial "$serial" --type IB5 --data 9780262033848
    xdotool type --delay 20 "after"
    e2e_app_text "$cls" "$child" "before $scan_text${t}after" ||
      fail "$app, style $style, terminator $term"
    echo "$app, style $style, terminator $term: $(printf '%q' "before $scan_text${t}after")"
    e2e_screenshot "$work/$app-style$style.png"
    e2e_stop "$app_pid"
  done
done <<'STYLES'
0 46 10
1 124 13
2 44 9
3 46 10
STYLES

echo "== a row's own profile: its program launched, its fix-ups; notepad then gets the current profile's"
stop_pellix
recorded="$work/launched.txt" typed="$work/target.txt"
export PELLIX_RECORD_FILE
PELLIX_RECORD_FILE=$(e2e_winpath "$recorded")
recorder=$(e2e_winpath "$build/bin/pellix-record-args.exe")
apps='[HKEY_CURRENT_USER\Software\Obrelle Works\Pellix\Applications'
books='[HKEY_CURRENT_USER\Software\Obrelle Works\Pellix\Profiles\Books'
{
  e2e_settings '"Style"=dword:00000000' '"TermChar"=dword:0000000a' '"CurProfile"="E2E"'
  e2e_profile_type 128 "" "" "" 0  # the current profile: no program for UPA, no Auto-ISBN
  printf '%s\\UPA]\n"Command"="%s"\n"Params"="upa $1"\n"AutoConv"=dword:00000000\n\n' "$books" "${recorder//\\/\\\\}"
  printf '%s\\IB5]\n"Trans"=""\n"AutoConv"=dword:00000001\n\n' "$books"
  printf '%s]\n"Count"=dword:00000001\n\n' "$apps"
  printf '%s\\1]\n"Program"="pellix-target.exe"\n"Pace"=dword:00000000\n"Method"=dword:00000000\n"Profile"="Books"\n\n' "$apps"
} >"$work/settings.reg"
e2e_load_settings "$work/settings.reg"
e2e_start_pellix
e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix Row Target" --out "$(e2e_winpath "$typed")"
win=$(e2e_wait_window "Pellix Row Target" 30) || fail "no target window"
e2e_wait_file "$typed" 30 || fail "the target does not report"
e2e_focus "$win"
e2e_scan --serial "$serial" --type UPA --data 012345678905
e2e_wait_text "$recorded" $'upa 012345678905\n' 20 || fail "the row's profile launched nothing: $(cat "$recorded" 2>&1)"
e2e_scan --serial "$serial" --type IB5 --data 9780262033848
e2e_wait_text "$typed" $'0262033844\n' 15 || fail "the row's Auto-ISBN: $(cat -A "$typed")"
e2e_start_app notepad
e2e_scan --serial "$serial" --type UPA --data 012345678905
e2e_scan --serial "$serial" --type IB5 --data 9780262033848
e2e_app_text "$cls" "$child" $'012345678905\n9780262033848\n' || fail "notepad: the current profile's typing"
e2e_wait_text "$recorded" $'upa 012345678905\n' 1 || fail "notepad's scan launched: $(cat "$recorded")"
e2e_wait_text "$typed" $'0262033844\n' 1 || fail "the target got more: $(cat -A "$typed")"
e2e_screenshot "$work/row-profile.png"
e2e_stop "$app_pid"
e2e_stop "$target_pid"

# The stand-in as program file $1, up and focused, takes a UPC-A and a Code 128 scan with
# mixed case; its text in $work/$1.txt, the keys it lost in $work/$1.txt.lost.
client_scans() {
  [ -z "$client_pid" ] || e2e_stop "$client_pid"
  cp "$build/bin/pellix-remote-client.exe" "$work/$1"
  rm -f "$work/$1.txt" "$work/$1.txt.lost"
  e2e_start client_pid "$work/$1" --out "$(e2e_winpath "$work/$1.txt")"
  e2e_wait_file "$work/$1.txt" 30 || fail "the stand-in $1 did not start"
  e2e_focus "$(xdotool search --sync --onlyvisible --name "Pellix Remote Client" | head -n1)"
  e2e_scan --serial "$serial" --type UPA --data 012345678905
  e2e_scan --serial "$serial" --type 128 --data AbcXyz-Qr7
}
remote=$'012345678905\nAbcXyz-Qr7\n'
client_exact() {
  client_scans "$1"
  e2e_wait_text "$work/$1.txt" "$remote" 20 || fail "$1: the scans did not arrive exactly"
  echo "$1: $(printf '%q' "$remote"), $(cat "$work/$1.txt.lost") keys lost"
}

echo "== a remote client: mstsc.exe by default, another by its row"
start_pellix 0 46 10
client_exact mstsc.exe
client_scans remote.exe
sleep 3
lost=$(cat "$work/remote.exe.txt.lost") got=$(cat "$work/remote.exe.txt"; echo x); got=${got%x}
[ "$lost" -gt 0 ] && [ "$got" != "$remote" ] || fail "remote.exe at pace 0 lost no key"
echo "remote.exe, not listed: $(printf '%q' "$got"), $lost keys lost"
rows='[HKEY_CURRENT_USER\Software\Obrelle Works\Pellix\Applications]
"Count"=dword:00000001

[HKEY_CURRENT_USER\Software\Obrelle Works\Pellix\Applications\1]
"Program"="remote.exe"
"Pace"=dword:00000014
"Method"=dword:00000000
"Profile"=""
'
start_pellix 0 46 10 "$rows"
client_exact remote.exe
echo "real applications: all checks passed"
