#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix.
# - Into the default folder: the flavour's files and the installer's list of them. With
#   KEYWEDGE.DLL held open by another program, installer and uninstaller change nothing and
#   exit with 2; then a silent uninstall returns 0 with its work done.
# - With /D= into a folder named in Cyrillic that holds another product's LICENSE.txt: the
#   files (that LICENSE.txt kept), the Start-menu shortcut and the Uninstall values; Pellix
#   started from the shortcut's target types a scan; installing again over the running
#   Pellix ends it through its Exit command and starts it again with its Run value's
#   options, hooks working; installing while a portable copy runs from another folder leaves
#   that copy running; the silent uninstaller returns when done, leaving the other product's
#   file and nothing of Pellix's (file, shortcut, Run value, Uninstall key), and keeps the
#   settings.
# Runs pellix-setup.exe (32-bit) where 32-bit programs run, else the 64-bit pellix-setup-x64.exe,
# and says which.
#   installer_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
rm -rf "$work" && mkdir -p "$work"
e2e_private_prefix "$work/prefix"
trap e2e_finish EXIT
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellix'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

if pellix_flavour_runs win32; then
  setup=$work/pellix-setup.exe
  "$root/scripts/make-installer" "$setup" >/dev/null
  loader=$(pellix_wine_loader win32)
else
  setup=$work/pellix-setup-x64.exe
  "$root/scripts/make-installer" --x64-stub "$setup" >/dev/null
  loader=$PELLIX_WINE
fi
echo "running $(basename "$setup") ($PELLIX_FLAVOUR prefix): it must install the $PELLIX_FLAVOUR binaries"
setup_run() { "$loader" "$@" </dev/null >/dev/null 2>&1; }

# A folder of the prefix as a Unix path.
unix_path() {
  wine winepath -u "$(wine cmd /c echo "$1" </dev/null 2>/dev/null | tr -d '\r"')" </dev/null 2>/dev/null
}
link=$(unix_path '%APPDATA%\Microsoft\Windows\Start Menu\Programs')/Pellix.lnk
version=$(sed -n 's/^project(Pellix VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
run_value() { wine reg query "$run_key" /v Pellix </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^    Pellix    REG_SZ    //p'; }
ours=(KEYWEDGE.DLL LICENSE.txt USER-GUIDE.md history-page.png pellix-files.txt pellix.exe
      profiles-page.png settings-page.png tray-menu.png uninstall.exe)
files_are() {  # DIR NAME...: the folder holds exactly these files
  local dir=$1
  shift
  printf '%s\n' "$@" | LC_ALL=C sort | diff - <(LC_ALL=C ls -A "$dir")
}

# Settings as the end-to-end tests keep them: data alone, then a line feed.
e2e_settings '"Style"=dword:00000000' '"TermChar"=dword:0000000a' >"$work/settings.reg"
e2e_load_settings "$work/settings.reg"

echo "== /S into the default folder; KEYWEDGE.DLL held open: nothing changes, exit code 2"
dir=$(unix_path '%LOCALAPPDATA%\Programs\Pellix')
setup_run "$setup" /S || fail "the installer failed ($?)"
files_are "$dir" "${ours[@]}" || fail "installed files"
for f in pellix.exe KEYWEDGE.DLL; do
  cmp -s "$dir/$f" "$build/bin/$f" || fail "$f is not the $PELLIX_FLAVOUR one"
done
"$PELLIX_WINE" "$build/bin/pellix-probe.exe" hold "$(e2e_winpath "$dir/KEYWEDGE.DLL")" 12000 \
  alone </dev/null >/dev/null 2>&1 &
holder=$!
sleep 2
for program in "$setup" "$dir/uninstall.exe"; do
  rc=0; setup_run "$program" /S || rc=$?
  [ "$rc" = 2 ] || fail "$(basename "$program") with KEYWEDGE.DLL held open returned $rc"
  files_are "$dir" "${ours[@]}" || fail "files after $(basename "$program") was refused"
done
wait "$holder" || fail "KEYWEDGE.DLL was not held"
# No waiting: when the uninstaller returns, its work is done.
setup_run "$dir/uninstall.exe" /S || fail "the uninstaller failed ($?)"
[ ! -e "$dir" ] || fail "left in the default folder: $(ls -A "$dir" | tr '\n' ' ')"

echo "== /D= into a folder named in Cyrillic that holds another product's LICENSE.txt"
dir="$work/Програми"
mkdir -p "$dir"
echo "Another product's licence" >"$dir/LICENSE.txt"
windir=$(e2e_winpath "$dir")
winexe="$windir\\pellix.exe"
setup_run "$setup" /S "/D=$windir" || fail "the installer failed ($?)"
files_are "$dir" "${ours[@]}" || fail "installed files"
[ "$(cat "$dir/LICENSE.txt")" = "Another product's licence" ] || fail "the other LICENSE.txt was replaced"
! grep -qx 'LICENSE.txt.*' "$dir/pellix-files.txt" || fail "the other LICENSE.txt is on Pellix's list"
[ -f "$link" ] || fail "no shortcut at $link"
# The link holds the program's folder (its working folder) and name in UTF-16: the ANSI copy
# of the path cannot spell the folder's name.
python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
sys.exit(not all(t.encode("utf-16-le") in d for t in sys.argv[2:]))' \
  "$link" "$windir" "pellix.exe" || fail "the shortcut does not point at $winexe"
kb=$(( ($(find "$dir" -type f ! -name LICENSE.txt -printf '%s+')0) / 1024 ))
# Exported, as reg query prints the folder's name in the console's code page.
wine reg export "$uninstall_key" "$(e2e_winpath "$work/uninstall.reg")" /y </dev/null >/dev/null 2>&1 ||
  fail "no Uninstall key"
iconv -f UTF-16 -t UTF-8 "$work/uninstall.reg" | tr -d '\r' | sed -n 's/^"\([A-Za-z]*\)"=/\1=/p' |
  sed 's/\\"/"/g; s/\\\\/\\/g' | sort >"$work/uninstall.txt"
sort >"$work/uninstall-want.txt" <<EOF
DisplayIcon=""$winexe",0"
DisplayName="Pellix"
DisplayVersion="$version"
EstimatedSize=dword:$(printf '%08x' "$kb")
InstallLocation="$windir"
NoModify=dword:00000001
NoRepair=dword:00000001
Publisher="Obrelle Works"
QuietUninstallString=""$windir\\uninstall.exe" /S"
UninstallString=""$windir\\uninstall.exe""
EOF
diff "$work/uninstall-want.txt" "$work/uninstall.txt" || fail "Uninstall values"
# The Run value, exported for the same reason.
run_value() {
  wine reg export "$run_key" "$(e2e_winpath "$work/run.reg")" /y </dev/null >/dev/null 2>&1 ||
    return 0
  iconv -f UTF-16 -t UTF-8 "$work/run.reg" | tr -d '\r' |
    sed -n 's/^"Pellix"="\(.*\)"$/\1/p' | sed 's/\\"/"/g; s/\\\\/\\/g'
}
[ "$(run_value)" = "\"$winexe\"" ] || fail "Run value '$(run_value)'"

echo "== Pellix from the shortcut's target types a scan"
typed="$work/typed.txt"
e2e_start pellix_pid "$dir/pellix.exe" -98
probe_rc wait-window PellixWndCls 30 || fail "pellix did not start"
e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix Setup Target" \
  --out "$(e2e_winpath "$typed")"
win=$(e2e_wait_window "Pellix Setup Target" 30) || fail "no target window"
e2e_wait_file "$typed" 30 || fail "the target does not report"
scan() {  # the scan arrives typed, after what came before
  e2e_focus "$win"
  e2e_scan --serial 00000000012345 --type UPA --data 012345678905
  e2e_wait_text "$typed" "$1" 15 || fail "scan $2"
}
scan $'012345678905\n' "from the installed program"
# The tray menu's "Start with Windows" takes the installer's Run value for its own: a value
# that starts this program with other options is brought up to date, not removed; then off.
probe_rc command PellixWndCls 1020
e2e_until 5 eval '[ "$(run_value)" = "\"$winexe\" -98" ]' || fail "Run value '$(run_value)'"
probe_rc command PellixWndCls 1020
e2e_until 5 eval '[ -z "$(run_value)" ]' || fail "Start with Windows did not turn off"
probe_rc command PellixWndCls 1020
e2e_until 5 eval '[ "$(run_value)" = "\"$winexe\" -98" ]' || fail "Run value '$(run_value)'"

echo "== installing over the running Pellix ends it by Exit and starts it again, hooks working"
setup_run "$setup" /S "/D=$windir" || fail "the upgrade failed"
e2e_until 10 eval '! kill -0 "$pellix_pid" 2>/dev/null' || fail "the old Pellix still runs"
wait "$pellix_pid" || fail "the old Pellix did not exit cleanly"
probe_rc wait-window PellixWndCls 30 || fail "Pellix is not running after the upgrade"
sleep 1
scan $'012345678905\n012345678905\n' "after the upgrade"
[ "$(run_value)" = "\"$winexe\" -98" ] || fail "the upgrade made the Run value '$(run_value)'"
e2e_screenshot "$work/upgraded.png"

echo "== installing while a portable copy runs from another folder leaves it running"
e2e_quit_pellix || fail "the installed Pellix did not exit"
mkdir -p "$work/portable"
cp "$build/bin/pellix.exe" "$build/bin/KEYWEDGE.DLL" "$work/portable/"
e2e_start portable_pid "$work/portable/pellix.exe" -98
probe_rc wait-window PellixWndCls 30 || fail "the portable Pellix did not start"
setup_run "$setup" /S "/D=$windir" || fail "the installer failed beside the portable copy"
kill -0 "$portable_pid" 2>/dev/null && probe_rc wait-window PellixWndCls 1 ||
  fail "the portable Pellix was ended"
scan $'012345678905\n012345678905\n012345678905\n' "from the portable copy"
e2e_quit_pellix || fail "the portable Pellix did not exit"

echo "== /S uninstalls when it returns: the other product's file stays, nothing of Pellix's"
setup_run "$dir/uninstall.exe" /S || fail "the uninstaller failed ($?)"
files_are "$dir" LICENSE.txt || fail "the uninstaller left other files"
[ "$(cat "$dir/LICENSE.txt")" = "Another product's licence" ] || fail "the other LICENSE.txt changed"
[ ! -e "$link" ] || fail "the shortcut is still there"
! wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1 || fail "the Uninstall key is still there"
[ -z "$(run_value)" ] || fail "the Run value is still there"
wine reg query 'HKCU\Software\Obrelle Works\Pellix\Settings' </dev/null >/dev/null 2>&1 ||
  fail "the settings went"
echo "installer: all checks passed ($(basename "$setup"))"
