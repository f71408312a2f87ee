#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix: a silent install puts the flavour's files, the
# Start-menu shortcut and the Uninstall values in place; Pellix started from the shortcut's
# target types a scan; installing again over the running Pellix ends it through its Exit
# command and starts it again with its Run value's options, hooks working; the silent
# uninstaller leaves no file, shortcut, Run value or Uninstall key, and keeps the settings.
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
dir=$(unix_path '%LOCALAPPDATA%\Programs\Pellix')
link=$(unix_path '%APPDATA%\Microsoft\Windows\Start Menu\Programs')/Pellix.lnk
winexe=$(wine winepath -w "$dir/pellix.exe" </dev/null 2>/dev/null | tr -d '\r')

# Settings as the end-to-end tests keep them: data alone, then a line feed.
e2e_settings '"Style"=dword:00000000' '"TermChar"=dword:0000000a' >"$work/settings.reg"
e2e_load_settings "$work/settings.reg"

echo "== /S installs the flavour's files, the shortcut and the Uninstall values"
setup_run "$setup" /S || fail "the installer failed ($?)"
LC_ALL=C ls "$dir" >"$work/files.txt"
printf '%s\n' KEYWEDGE.DLL LICENSE.txt USER-GUIDE.md history-page.png pellix.exe profiles-page.png \
  settings-page.png tray-menu.png uninstall.exe | diff - "$work/files.txt" ||
  fail "installed files"
for f in pellix.exe KEYWEDGE.DLL; do
  cmp -s "$dir/$f" "$build/bin/$f" || fail "$f is not the $PELLIX_FLAVOUR one"
done
[ -f "$link" ] || fail "no shortcut at $link"
# The link names the program as its target (its only path ending in pellix.exe).
grep -qaiF "$winexe" "$link" || fail "the shortcut does not point at $winexe"
kb=$(( ($(find "$dir" -type f -printf '%s+')0) / 1024 ))
wine reg query "$uninstall_key" </dev/null 2>/dev/null | tr -d '\r' |
  sed -n 's/^    \([A-Za-z]*\)    REG_[A-Z_]*    \(.*\)$/\1=\2/p' | sort >"$work/uninstall.txt"
version=$(sed -n 's/^project(Pellix VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
windir=${winexe%\\pellix.exe}
sort >"$work/uninstall-want.txt" <<EOF
DisplayIcon="$winexe",0
DisplayName=Pellix
DisplayVersion=$version
EstimatedSize=$(printf '0x%x' "$kb")
InstallLocation=$windir
NoModify=0x1
NoRepair=0x1
Publisher=Obrelle Works
QuietUninstallString="$windir\\uninstall.exe" /S
UninstallString="$windir\\uninstall.exe"
EOF
diff "$work/uninstall-want.txt" "$work/uninstall.txt" || fail "Uninstall values"
run_value() { wine reg query "$run_key" /v Pellix </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^    Pellix    REG_SZ    //p'; }
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
setup_run "$setup" /S || fail "the upgrade failed"
e2e_until 10 eval '! kill -0 "$pellix_pid" 2>/dev/null' || fail "the old Pellix still runs"
wait "$pellix_pid" || fail "the old Pellix did not exit cleanly"
probe_rc wait-window PellixWndCls 30 || fail "Pellix is not running after the upgrade"
sleep 1
scan $'012345678905\n012345678905\n' "after the upgrade"
[ "$(run_value)" = "\"$winexe\" -98" ] || fail "the upgrade made the Run value '$(run_value)'"
e2e_screenshot "$work/upgraded.png"

echo "== /S uninstalls: no file, shortcut, Run value or Uninstall key; settings kept"
setup_run "$dir/uninstall.exe" /S || fail "the uninstaller failed"
gone() {
  [ ! -e "$dir" ] && [ ! -e "$link" ] &&
    ! wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1
}
e2e_until 30 gone || fail "left behind: $(ls -A "$dir" 2>/dev/null | tr '\n' ' ')"
probe_rc wait-gone PellixWndCls 1 || fail "Pellix still runs"
[ -z "$(run_value)" ] || fail "the Run value is still there"
wine reg query 'HKCU\Software\Obrelle Works\Pellix\Settings' </dev/null >/dev/null 2>&1 ||
  fail "the settings went"
echo "installer: all checks passed ($(basename "$setup"))"
