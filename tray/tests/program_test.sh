#!/usr/bin/env bash
# pellix.exe for real under Wine: single instance, the missing library, the back-end choice
# by platform and "-98", the tray menu for 0, 1 and 200 stored profiles, switching profiles
# from the menu's commands, and exit. The hook library is a recording stand-in here
# (stubs/full), so every call the program makes into it is visible.
#   program_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
finish() {
  e2e_cleanup
  wine reg delete 'HKCU\Software\Wine\AppDefaults\pellix.exe' /f >/dev/null 2>&1 || true
  e2e_end
}
trap finish EXIT

root_key='HKCU\Software\Obrelle Works'
forget_settings() { wine reg delete "$root_key" /f >/dev/null 2>&1 || true; }

rm -rf "$work"
for d in nodll missing stub; do mkdir -p "$work/$d"; cp "$build/bin/pellix.exe" "$work/$d/"; done
cp "$build/stubs/full/KEYWEDGE.DLL" "$work/stub/"
cp "$build/stubs/missing/KEYWEDGE.DLL" "$work/missing/"
log="$work/stub.log"
export PELLIX_STUB_LOG
PELLIX_STUB_LOG=$(e2e_winpath "$log")
forget_settings

# Runs the stub-backed program with ARGS until its window is up.
start_pellix() {
  : >"$log"
  e2e_start pellix_pid "$work/stub/pellix.exe" "$@"
  probe_rc wait-window PellixWndCls 30 || fail "no main window (args: $*)"
  for _ in $(seq 50); do grep -q '^SetTimeOut' "$log" && break; sleep 0.1; done
}
stop_pellix() {
  probe_rc command PellixWndCls 1019 || fail "no main window to exit"
  local rc=0
  wait "$pellix_pid" || rc=$?
  [ "$rc" -eq 0 ] || fail "pellix exited with $rc"
}
expect_log() { grep -qxF -- "$1" "$log" || { cat "$log" >&2; fail "the library was not called: $1"; }; }

echo "== without the library, or with one export missing: the message, then exit 0"
for d in nodll missing; do
  e2e_start pid "$work/$d/pellix.exe"
  text=$(probe msgbox "Pellix Error" 30) || fail "$d: no message box"
  [ "$text" = "Unable to Install Keyboard Hook." ] || fail "$d: message was '$text'"
  rc=0; wait "$pid" || rc=$?
  [ "$rc" -eq 0 ] || fail "$d: exit code $rc"
done

echo "== NT: library mode, hooks without force; a second start exits 0 silently"
start_pellix
expect_log "InstallHook window=set force=0"
# The library's own values are read back first, then what the registry adds is pushed.
[ "$(head -n2 "$log" | tr '\n' ' ')" = "InstallHook window=set force=0 GetOutputType " ] ||
  fail "start order: $(tr '\n' ' ' <"$log")"
expect_log "SetOutputType 10 46 0 1 0"
expect_log "SetTimeOut 1000"
rc=0; timeout 30 "$PELLIX_WINE" "$work/stub/pellix.exe" </dev/null >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 0 ] || fail "second instance exit code $rc"
probe_rc no-window "Pellix Error" 1 || fail "second instance showed a message"
[ "$(grep -c '^InstallHook' "$log")" -eq 1 ] || fail "second instance installed hooks"

echo "== tray menu with no stored profile"
probe_rc notify PellixWndCls 0x201 || fail "notify"   # a single click does nothing
probe_rc no-window "Pellix" 1 || fail "a single click opened something"
probe_rc notify PellixWndCls 0x205 || fail "notify"
menu=$(probe menu 10) || fail "no menu after the right button"
echo "$menu"
want_menu="104 default &Settings...
0 &Profiles
  5000 checked <No Profile>
1020 Start with Windows
0 separator 
1019 E&xit Pellix"
[ "$menu" = "$want_menu" ] || fail "menu with no profile"

echo "== the Settings sheet: double-click or command 104 opens one, never two; exit closes it"
probe_rc notify PellixWndCls 0x203 || fail "notify"
for _ in $(seq 100); do [ "$(probe count '#32770' Pellix)" = 1 ] && break; sleep 0.1; done
[ "$(probe count '#32770' Pellix)" = 1 ] || fail "a double-click did not open the sheet"
probe_rc command PellixWndCls 104
probe_rc notify PellixWndCls 0x203
sleep 1
[ "$(probe count '#32770' Pellix)" = 1 ] || fail "a second sheet opened"
e2e_screenshot "$work/sheet.png"
stop_pellix
[ "$(probe count '#32770' Pellix)" = 0 ] || fail "the sheet outlived the program"
expect_log "RemoveHook"
start_pellix

echo "== the shell restarts: its broadcast brings the icon back, with its menu"
hwnd=$(probe window PellixWndCls)
probe_rc tray-icon "$hwnd" || fail "no tray icon while running"
probe_rc tray-remove "$hwnd" || fail "could not take the icon away"
probe_rc tray-icon "$hwnd" && fail "the icon is still there after the shell lost it"
probe_rc broadcast TaskbarCreated || fail "broadcast"
for _ in $(seq 50); do probe_rc tray-icon "$hwnd" && break; sleep 0.1; done
probe_rc tray-icon "$hwnd" || fail "the icon did not come back after TaskbarCreated"
probe_rc notify PellixWndCls 0x205
menu=$(probe menu 10) || fail "no menu after the icon came back"
[ "$menu" = "$want_menu" ] || fail "menu after the icon came back: $menu"

echo "== exit removes the hooks, the tray icon and the mutex"
probe_rc tray-icon "$hwnd" || fail "no tray icon while running"
probe_rc mutex PellixWndCls || fail "no mutex while running"
stop_pellix
expect_log "RemoveHook"
probe_rc tray-icon "$hwnd" && fail "tray icon left behind"
probe_rc mutex PellixWndCls && fail "mutex left behind"

echo "== '-98' forces the keyboard-and-message hooks on NT, found anywhere in the arguments"
for args in "-98" "x-98y"; do
  start_pellix "$args"
  expect_log "InstallHook window=set force=1"
  if [ "$args" = -98 ]; then  # no low-level hook, so nothing to watch: typing reinstalls nothing
    # Its menu first, as before the check of the reinstallation below: Wine makes raw input
    # only while some window is in the foreground, and here none is until then.
    probe_rc notify PellixWndCls 0x205
    probe menu 10 >/dev/null || fail "no menu"
    probe_rc keys 60 || fail "could not type"
    sleep 1
    grep -q '^RemoveHook' "$log" && fail "-98: the hooks were reinstalled"
  fi
  stop_pellix
done

echo "== Windows 98 without PELLIX.VXD: library mode, no message"
wine reg add 'HKCU\Software\Wine\AppDefaults\pellix.exe' /v Version /d win98 /f >/dev/null 2>&1
mkdir -p "$work/version" && cp "$build/bin/pellix-probe.exe" "$work/version/pellix.exe"
told=$(wine "$work/version/pellix.exe" version </dev/null 2>/dev/null | tr -d '\r')
[ "$told" = "1 4.10" ] || fail "the prefix does not make pellix.exe see Windows 98: $told"
start_pellix
expect_log "InstallHook window=set force=0"
probe_rc no-window "Pellix Error" 1 || fail "win98 start showed a message"
stop_pellix
start_pellix -NOVXD   # capitals are not the option: still the driver first, then the library
expect_log "InstallHook window=set force=0"
stop_pellix
wine reg delete 'HKCU\Software\Wine\AppDefaults\pellix.exe' /f >/dev/null 2>&1

echo "== one stored profile, current in another letter case: shown unchecked"
reg="$work/profiles.reg"
write_profiles() {  # COUNT CURRENT
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Settings]\r\n'
    printf '"CurProfile"="%s"\r\n\r\n' "$2"
    for i in $(seq 0 $(($1 - 1))); do
      printf '[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Profiles\\P%03d\\UPA]\r\n' "$i"
      printf '"Trans"="+-%03d"\r\n"Command"=""\r\n"Params"=""\r\n"AutoConv"=dword:00000000\r\n"Show"=dword:00000001\r\n\r\n' "$i"
    done
  } >"$reg"
  forget_settings
  wine regedit /s "$(e2e_winpath "$reg")" >/dev/null 2>&1
}
write_profiles 1 "p000"
start_pellix
probe_rc notify PellixWndCls 0x205
menu=$(probe menu 10) || fail "no menu"
grep -qx "  5001 P000" <<<"$menu" || fail "P000 should be unchecked: $menu"
grep -qx "  5000 <No Profile>" <<<"$menu" || fail "<No Profile> should be unchecked: $menu"
stop_pellix
write_profiles 1 "P000"
start_pellix
probe_rc notify PellixWndCls 0x205
menu=$(probe menu 10) || fail "no menu"
grep -qx "  5001 checked P000" <<<"$menu" || fail "P000 should be checked: $menu"
expect_log "AddTransform UPA [+-000] 0"
echo "== keystrokes that raw input sees and the low-level hook does not: reinstalled, transforms back"
: >"$log"
probe_rc keys 60 || fail "could not type"  # 1.2 s: more than one suspicion's worth
for _ in $(seq 50); do grep -q '^AddTransform' "$log" && break; sleep 0.1; done
[ "$(head -n4 "$log" | tr '\n' ' ')" = "RemoveHook InstallHook window=set force=0 InitTransform AddTransform UPA [+-000] 0 " ] ||
  fail "reinstallation: $(tr '\n' ' ' <"$log")"
stop_pellix

echo "== 200 stored profiles: all listed, 5001 + i activates name i"
write_profiles 200 ""
start_pellix
probe_rc notify PellixWndCls 0x205
menu=$(probe menu 10) || fail "no menu"
[ "$(grep -cE '^  5[0-9]{3} P[0-9]{3}$' <<<"$menu")" -eq 200 ] || fail "not 200 names: $menu"
grep -qx "  5000 checked <No Profile>" <<<"$menu" || fail "<No Profile> unchecked"
for i in 0 150 199; do
  id=$((5001 + i))
  name=$(sed -n "s/^  $id //p" <<<"$menu")
  [ -n "$name" ] || fail "no item $id"
  : >"$log"
  probe_rc command PellixWndCls "$id"
  for _ in $(seq 50); do grep -q '^AddTransform' "$log" && break; sleep 0.1; done
  cur=$(wine reg query 'HKCU\Software\Obrelle Works\Pellix\Settings' /v CurProfile 2>/dev/null |
        tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
  [ "$cur" = "$name" ] || fail "command $id: CurProfile '$cur', want '$name'"
  expect_log "AddTransform UPA [+-${name#P}] 0"
  expect_log "InitTransform"
  [ "$(grep -c '^AddTransform' "$log")" -eq 1 ] || fail "transforms not replaced: $(cat "$log")"
done
: >"$log"
probe_rc command PellixWndCls 5000
for _ in $(seq 50); do grep -q '^InitTransform' "$log" && break; sleep 0.1; done
expect_log "InitTransform"
grep -q '^AddTransform' "$log" && fail "<No Profile> left transforms"
stop_pellix

echo "== Applications: the known remote clients until rows are stored; stored rows at every start"
apps_log() { sed -n '/^SetApplications/,$p' "$log" | grep -E '^(SetApplications|  )'; }
forget_settings
start_pellix
for _ in $(seq 50); do grep -q '^SetApplications' "$log" && break; sleep 0.1; done
want_apps=$'SetApplications other 0 0 -1, 12 rows\n  mstsc.exe 20 0 -1\n  msrdc.exe 20 0 -1'
want_apps+=$'\n  wfica32.exe 20 0 -1\n  CDViewer.exe 20 0 -1\n  vmconnect.exe 20 1 -1'
want_apps+=$'\n  VirtualBoxVM.exe 20 1 -1\n  VirtualBox.exe 20 1 -1\n  vmware.exe 20 1 -1'
want_apps+=$'\n  vmplayer.exe 20 1 -1\n  vmrc.exe 20 1 -1\n  vncviewer.exe 20 1 -1\n  tvnviewer.exe 20 1 -1'
[ "$(apps_log)" = "$want_apps" ] || fail "default rows: $(apps_log)"
stop_pellix
# EXCEL.EXE scans with the profile "Books", whose UPA opens the recorder; the current profile
# "Plain" opens nothing. A row naming a profile that is gone follows the current profile.
recorded="$work/recorded.txt"
export PELLIX_RECORD_FILE
PELLIX_RECORD_FILE=$(e2e_winpath "$recorded")
recorder=$(e2e_winpath "$build/bin/pellix-record-args.exe")
apps='HKEY_CURRENT_USER\Software\Obrelle Works\Pellix\Applications'
{
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Settings]\r\n'
  printf '"CurProfile"="Plain"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Profiles\\Plain\\128]\r\n"Trans"="-"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Profiles\\Books\\UPA]\r\n'
  printf '"Trans"="0123456789"\r\n"Command"="%s"\r\n"Params"="upa $1"\r\n"AutoConv"=dword:00000000\r\n\r\n' "${recorder//\\/\\\\}"
  printf '[%s]\r\n"Count"=dword:00000003\r\n"OtherPace"=dword:00000005\r\n"OtherMethod"=dword:00000001\r\n\r\n' "$apps"
  printf '[%s\\1]\r\n"Program"="EXCEL.EXE"\r\n"Pace"=dword:00000032\r\n"Method"=dword:00000001\r\n"Profile"="Books"\r\n\r\n' "$apps"
  printf '[%s\\2]\r\n"Program"="mstsc.exe"\r\n"Pace"=dword:00000014\r\n"Method"=dword:00000000\r\n"Profile"=""\r\n\r\n' "$apps"
  printf '[%s\\3]\r\n"Program"="old.exe"\r\n"Pace"=dword:00000000\r\n"Method"=dword:00000000\r\n"Profile"="Gone"\r\n\r\n' "$apps"
} >"$reg"
wine regedit /s "$(e2e_winpath "$reg")" >/dev/null 2>&1
want_apps=$'SetApplications other 5 1 -1, 3 rows\n  EXCEL.EXE 50 1 0\n  mstsc.exe 20 0 -1\n  old.exe 0 0 -1'
want_apps+=$'\n  profile 0: UPA [0123456789] 0'
for run in 1 2; do
  start_pellix
  for _ in $(seq 50); do grep -q '^SetApplications' "$log" && break; sleep 0.1; done
  [ "$(apps_log)" = "$want_apps" ] || fail "start $run: stored rows: $(apps_log)"
  rm -f "$recorded"
  # A scan gone to EXCEL.EXE (any letter case) launches Books' program; one gone to another
  # program is the current profile's, which leaves it to be typed.
  [ "$(wine "$build/bin/pellix-offer.exe" note UPA 012345678905 excel.exe </dev/null 2>/dev/null | tr -d '\r')" = took ] ||
    fail "start $run: the row's profile did not take the scan"
  e2e_wait_text "$recorded" $'upa 012345678905\n' 15 || fail "start $run: no launch: $(cat "$recorded" 2>&1)"
  for program in notepad.exe old.exe ""; do
    [ "$(wine "$build/bin/pellix-offer.exe" note UPA 012345678905 "$program" </dev/null 2>/dev/null | tr -d '\r')" = left ] ||
      fail "start $run: a scan gone to '$program' was taken"
  done
  stop_pellix
done
forget_settings
echo "tray program: all checks passed"
