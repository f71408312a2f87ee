#!/usr/bin/env bash
# The keyboard-and-message path end to end, with real X input: a host installs the hooks
# (force 1), a target program in another Wine process has the focus, the wand emulator types
# real bursts. Checks the output styles, a burst given back by the timeout, Ctrl dropping a
# burst, an invalid burst producing nothing, a host killed in the middle of a burst, and an
# application killed while its hook types a scan.
#   keyboard_path_e2e.sh HOOKLIB_HOST.EXE PELLIX-TARGET.EXE WORKDIR
set -euo pipefail
host=$1 target=$2 work=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
finish() { e2e_end; }
trap finish EXIT

rm -rf "$work" && mkdir -p "$work"
out="$work/typed.txt"
failures=0
fail() { e2e_log "FAIL: $*"; failures=$((failures + 1)); }

host_pid=""
start_host() {  # style sep term [timeout]
  local ready="$work/ready.$RANDOM"
  e2e_start host_pid "$host" --force 1 --style "$1" --sep "$2" --term "$3" \
    --timeout "${4:-1250}" --ready "$(e2e_winpath "$ready")"
  e2e_wait_file "$ready" 30 || return 1
  [ "$(cat "$ready")" = 1 ] || { e2e_log "host could not install the hooks"; return 1; }
}
stop_host() { e2e_stop "$host_pid"; host_pid=""; echo "host stopped (${SECONDS}s)"; }

# The target's text so far; each check expects what is added after it.
before=""
mark() { sleep 0.3; before=$(cat "$out"; echo x); before=${before%x}; }
expect() {  # description, text added since the mark [seconds]
  if e2e_wait_text "$out" "$before$2" "${3:-10}"; then echo "ok: $1 (${SECONDS}s)"; else fail "$1"; fi
  mark
}

e2e_start target_pid "$target" --title "Pellix KB Target" --out "$(e2e_winpath "$out")"
win=$(e2e_wait_window "Pellix KB Target" 30)
e2e_wait_file "$out" 30
e2e_focus "$win"  # once: the hosts' windows are never shown, the focus stays here

# Output styles, separators and terminators (a new host for each: the settings are its own).
while read -r style sep term want; do
  start_host "$style" "$sep" "$term"
  mark
  e2e_scan --serial 123 --type UPA --data 0123 --rate-ms 1
  printf -v want "$want"
  expect "style $style separator $sep terminator $term" "$want"
  stop_host
done <<'CASES'
0 46 10 0123\n
1 46 10 UPA.0123\n
2 45 10 123-0123\n
3 46 10 123.UPA.0123\n
3 0 9 123UPA0123\t
0 46 0 0123
CASES

start_host 0 46 10 600

# A burst that does not end in time: its captured keys come back, the prefix does not.
mark
xdotool keydown Alt_L keydown F10 keyup F10 keyup Alt_L key --delay 5 period a b
expect "abandoned burst gives back keyChars" ".ab" 5

# Ctrl inside a burst drops it silently; the next scan still works.
mark
xdotool keydown Alt_L keydown F10 keyup F10 keyup Alt_L key --delay 5 period c d \
  keydown Control_L keyup Control_L
sleep 1
expect "Ctrl drops the burst" "" 1
e2e_scan --serial 1 --type UPA --data 42 --rate-ms 1
expect "scan after a dropped burst" $'42\n'

# A burst that decodes invalid produces nothing at all.
mark
xdotool keydown Alt_L keydown F10 keyup F10 keyup Alt_L key --delay 5 h e l l o Return
sleep 1.5
expect "invalid burst produces nothing" "" 1

# The host dies in the middle of a burst; a new host installs and the next scan works.
mark
xdotool keydown Alt_L keydown F10 keyup F10 keyup Alt_L key --delay 5 period q
e2e_stop "$host_pid"
start_host 0 46 10 || fail "a new host after a dead one"
mark
e2e_scan --serial 1 --type UPA --data 777 --rate-ms 1
expect "scan after the host died mid-burst" $'777\n'

# The application dies while it types a scan (on this path the typing runs in its hook): a
# new application gets the next scan exact, nothing of the dead one's typing is left behind.
mark
long=$(printf 'A%.0s' $(seq 200))
first=$out
e2e_scan --serial 1 --type C39 --data "$long" --rate-ms 1 &
scan_pid=$!
for _ in $(seq 1000); do
  [ "$(wc -c <"$first")" -gt "${#before}" ] && break
  sleep 0.01
done
kill -9 "$target_pid" 2>/dev/null || true
wait "$target_pid" 2>/dev/null || true
wait "$scan_pid" 2>/dev/null || true
typed=$(cat "$first")
typed=${typed#"$before"}
echo "application killed after ${#typed} of the scan's 201 characters"
out="$work/typed2.txt"
e2e_start target_pid "$target" --title "Pellix KB Target 2" --out "$(e2e_winpath "$out")"
win=$(e2e_wait_window "Pellix KB Target 2" 30)
e2e_wait_file "$out" 30
e2e_focus "$win"
mark
e2e_scan --serial 1 --type UPA --data 555 --rate-ms 1
expect "scan into a new application after one died typing" $'555\n'

e2e_screenshot "$work/screenshot.png"
stop_host
[ "$failures" -eq 0 ] || { e2e_log "$failures check(s) failed"; exit 1; }
echo "keyboard-and-message path: all checks passed"
