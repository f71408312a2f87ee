#!/usr/bin/env bash
# The real pellix.exe and KEYWEDGE.DLL on the low-level path under Wine: keys typed while the
# hook is there reinstall nothing; the hook taken away from another process (as the system
# takes it, without a word) comes back by itself once keys are typed, and stays.
#   hook_watch_e2e.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
trap e2e_finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }  # no work folder for a screenshot

dll=$(e2e_winpath "$build/bin/KEYWEDGE.DLL")
e2e_start pellix_pid "$build/bin/pellix.exe"
probe_rc wait-window PellixWndCls 30 || fail "pellix did not start"
# Another program in the foreground: Pellix gets its raw input in the background, as it does
# on a desktop (and Wine makes raw input only while some window is in the foreground).
e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix Watch Target"
win=$(e2e_wait_window "Pellix Watch Target" 30) || fail "no target window"
e2e_focus "$win"
sleep 1
first=$(probe hook "$dll") || fail "no hook installed"

echo "== typing with the hook there: the same hook afterwards"
probe_rc keys 60 || fail "could not type"  # 1.2 s, F14
sleep 1
[ "$(probe hook "$dll")" = "$first" ] || fail "reinstalled although the hook was there"

echo "== the hook taken away: typing brings it back, once"
probe_rc unhook "$dll" || fail "could not take the hook away"
probe_rc keys 60 || fail "could not type"
sleep 1
second=$(probe hook "$dll") || fail "no hook after the loss"
[ "$second" != "$first" ] || fail "the hook was not reinstalled"
probe_rc keys 60 || fail "could not type"
sleep 1
[ "$(probe hook "$dll")" = "$second" ] || fail "reinstalled again although the new hook was there"

probe_rc command PellixWndCls 1019 || fail "no main window to exit"
rc=0; wait "$pellix_pid" || rc=$?
[ "$rc" -eq 0 ] || fail "pellix exited with $rc"
probe_rc hook "$dll" && fail "the hook outlived the program"
echo "hook watch, real program: all checks passed"
