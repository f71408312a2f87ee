#!/usr/bin/env bash
# End to end where the users are: pellix.exe with the real KEYWEDGE.DLL ("-98", the path that
# keys sent from outside can drive under Wine).
#  - Keyboard layouts: scans sent with keybd_event as US, German, French, Belgian and
#    US-Dvorak keyboards report the wand's keys (the US scan code with that layout's virtual
#    key) arrive decoded in another program's window.
#  - Real applications: Wine's notepad (an Edit control) and wordpad (a RichEdit20W) get the
#    user's own words, a scan in each output style and terminator (Tab, line feed, carriage
#    return), and the user's words again: exactly those, in order, nothing stray.
#   apps_e2e.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
pellix_pid=""
stop_pellix() {
  [ -n "$pellix_pid" ] || return 0
  e2e_quit_pellix || true
  e2e_stop "$pellix_pid"
  pellix_pid=""
}
finish() {
  stop_pellix
  wine reg delete 'HKCU\Software\Obrelle Works' /f >/dev/null 2>&1 || true
  e2e_end
}
trap finish EXIT

rm -rf "$work" && mkdir -p "$work"

# Starts Pellix with output style $1, separator $2 and terminator $3 (character codes).
start_pellix() {
  stop_pellix
  e2e_settings "$(printf '"Style"=dword:%08x' "$1")" "$(printf '"SepChar"=dword:%08x' "$2")" \
    "$(printf '"TermChar"=dword:%08x' "$3")" >"$work/settings.reg"
  e2e_load_settings "$work/settings.reg"
  e2e_start_pellix
}

# Waits until the control CHILD of the window of CLASS holds exactly TEXT.
wait_app_text() {
  local cls=$1 child=$2 want=$3 got="" i
  for i in $(seq 100); do
    got=$(probe text "$cls" "$child"; echo x); got=${got%x}
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  echo "$cls: expected $(printf '%q' "$want"), got $(printf '%q' "$got")" >&2
  return 1
}

serial=00000000012345
echo "== keyboard layouts: each scan decoded into another program's window"
start_pellix 1 $((0x7c)) 10  # type|data, a line feed after
typed="$work/typed.txt"
e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix Layout Target" \
  --out "$(e2e_winpath "$typed")"
win=$(e2e_wait_window "Pellix Layout Target" 30) || fail "no target window"
e2e_wait_file "$typed" 30 || fail "the target does not report"
e2e_focus "$win"
want=""
while read -r layout type data; do
  wine "$build/bin/pellix-wand-keys.exe" "$layout" "$serial" "$type" "$data" </dev/null \
    >/dev/null 2>&1 || fail "$layout: pellix-wand-keys failed"
  want+="$type|$data"$'\n'
  e2e_wait_text "$typed" "$want" 15 || fail "a scan on the $layout layout"
  echo "$layout: $type|$data"
done <<'SCANS'
us UPA 012345678905
german IB5 9780262033848
french C39 LIB-7Q2X
belgian E13 4006381333931
dvorak C39 WZ+Q-Z/Y.3
SCANS
e2e_stop "$target_pid"

echo "== notepad and wordpad: the user's words, a scan, the user's words"
wordpad='C:\Program Files\Windows NT\Accessories\wordpad.exe'
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
    if [ "$app" = notepad ]; then
      cls=Notepad child=Edit; e2e_start app_pid notepad.exe
    else
      cls=WORDPADTOP child=RichEdit20W; e2e_start app_pid "$wordpad"
    fi
    probe wait-window "$cls" 30 >/dev/null || fail "$app did not start"
    sleep 1
    id=""
    for _ in $(seq 100); do
      id=$(xdotool search --onlyvisible --class "$app" 2>/dev/null | head -n1)
      [ -n "$id" ] && break
      sleep 0.1
    done
    [ -n "$id" ] && e2e_focus "$id" || fail "no X window of $app"
    xdotool type --delay 20 "before "
    e2e_scan --serial "$serial" --type IB5 --data 9780262033848
    xdotool type --delay 20 "after"
    wait_app_text "$cls" "$child" "before $scan_text${t}after" ||
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
echo "real applications and layouts: all checks passed"
