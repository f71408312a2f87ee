#!/usr/bin/env bash
# Pellix unzipped into a folder whose name the system's code page (1252 under Wine's default
# locale) cannot spell: one in Cyrillic, one in Chinese. From each: a scan typed on the
# keyboard-and-message path ("-98"), a stalled burst given back within the timeout, the scan
# log written in that folder, and "Start with Windows" writing a Run value whose program
# exists. Needs the library's wide module path for its threads and the tray program's wide
# paths (the Run value, the scan log).
#   any_folder_e2e.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
finish() {
  e2e_quit_pellix || true
  wine reg delete 'HKCU\Software\Obrelle Works' /f >/dev/null 2>&1 || true
  wine reg delete "$run_key" /v Pellix /f >/dev/null 2>&1 || true
  e2e_end
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
trap finish EXIT
rm -rf "$work" && mkdir -p "$work"
typed="$work/typed.txt"
# The Run value as stored: reg query prints it in the console's code page, which spells the
# folder's name as question marks; an export is UTF-16.
run_value() {
  wine reg export "$run_key" "$(e2e_winpath "$work/run.reg")" /y </dev/null >/dev/null 2>&1 ||
    return 0
  iconv -f UTF-16 -t UTF-8 "$work/run.reg" | tr -d '\r' |
    sed -n 's/^"Pellix"="\(.*\)"$/\1/p' | sed 's/\\"/"/g; s/\\\\/\\/g'
}

e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix Folder Target" \
  --out "$(e2e_winpath "$typed")"
win=$(e2e_wait_window "Pellix Folder Target" 30) || fail "no target window"
e2e_wait_file "$typed" 30 || fail "the target does not report"
want=""
for name in "Пеллікс" "佩利克斯"; do
  dir="$work/$name"
  mkdir -p "$dir"
  cp "$build/bin/pellix.exe" "$build/bin/KEYWEDGE.DLL" "$dir/"
  # Data alone and a line feed; the shortest timeout; the scan log in the folder. Set with
  # reg.exe, whose arguments reach the registry as Unicode (a REGEDIT4 file is ANSI).
  e2e_settings '"Style"=dword:00000000' '"TermChar"=dword:0000000a' \
    '"Timeout"=dword:000001f4' '"LogScans"=dword:00000001' >"$work/settings.reg"
  e2e_load_settings "$work/settings.reg"
  wine reg add 'HKCU\Software\Obrelle Works\Pellix\Settings' /v LogFile \
    /d "$(e2e_winpath "$dir/scans.csv")" /f >/dev/null 2>&1
  e2e_start pellix_pid "$dir/pellix.exe" -98
  probe_rc wait-window PellixWndCls 30 || fail "$name: pellix did not start"
  sleep 1
  e2e_focus "$win"

  e2e_scan --serial 00000000012345 --type UPA --data 012345678905
  want+=$'012345678905\n'
  e2e_wait_text "$typed" "$want" 15 || fail "$name: the scan"
  # A burst that stalls comes back once the timeout (500 ms) has run out, with the Return
  # typed after it.
  e2e_scan --text .ab --no-enter
  sleep 1.5
  xdotool key Return
  want+=$'.ab\n'
  e2e_wait_text "$typed" "$want" 10 || fail "$name: the stalled burst"
  e2e_until 10 grep -q 012345678905 "$dir/scans.csv" || fail "$name: no scan log in the folder"

  probe_rc command PellixWndCls 1020 || fail "$name: no Start with Windows"
  e2e_until 5 test -n "$(run_value)" || fail "$name: no Run value"
  program=$(run_value | sed -n 's/^"\([^"]*\)".*/\1/p')
  [ -e "$(wine winepath -u "$program" 2>/dev/null | tr -d '\r')" ] ||
    fail "$name: the Run value's program '$program' does not exist"
  probe_rc command PellixWndCls 1020
  e2e_quit_pellix || fail "$name: pellix did not exit"
  echo "$name: scan typed, stalled burst given back, log and Run value in the folder"
done
echo "any folder: all checks passed"
