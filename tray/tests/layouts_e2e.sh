#!/usr/bin/env bash
# Real keyboard layouts end to end: an X display of its own whose keymap is set with
# setxkbmap, pellix.exe -98 with the real KEYWEDGE.DLL, the wand emulator pressing the US key
# positions a wand presses (X keycodes). Per layout, into notepad and into wordpad: the user's
# own words, three scans (a book with Auto-ISBN, a UPC-A, a Code 128 label with characters
# that need AltGr or a dead key on other layouts), separator '|', the user's words again, and
# a stalled burst given back; the control must then hold exactly that text. On the first
# layout once more with Caps Lock on (the X server's lock key pressed), in notepad and wordpad
# (or the applications PELLIX_CAPS_APPS names): the scans exact, the user's words and the
# given-back burst as the lock makes them, a label with Backspace, Escape and Ctrl+V bytes
# types none of them. (A Shift the user holds as a scan is typed is tested on the low-level
# path, hooklib_lowlevel_test: on this path under Wine the wand's capitals break a burst
# while the user holds the right Shift, as Wine sends no release of the wand's left Shift
# then.) First the fake keyboard's table of the layout is
# checked against Wine (pellix-layout-check).
#   layouts_e2e.sh BUILD_DIR WORK_DIR [--long]
# Every run: US, German, French, US-Dvorak. --long adds UK, Swiss German, Belgian, Spanish,
# Italian, Swedish and Russian, every separator the library accepts and every printable ASCII
# character in Code 128 data.
set -euo pipefail
build=$1 work=$2 long=${3:-}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# A display and a Wine server of its own: the keymap changes here reach no other test.
unset DISPLAY PELLIX_KEEP_DISPLAY
export WINEPREFIX=$work-prefix
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
mkdir -p "$work"
pellix_wine_up
pellix_pid=""
finish() {
  e2e_quit_pellix || true
  e2e_cleanup
  pellix_wine_down
}
trap finish EXIT
find "$work" -mindepth 1 -delete

layouts=("us" "de" "fr" "us dvorak")
labels=('A|B\C~D@E^F`G{H}')  # Code 128 data
extra_separators=()
if [ "$long" = --long ]; then
  layouts+=("gb" "ch de" "be" "es" "it" "se" "ru")
  # Every printable ASCII character, in four labels (a burst must end within the timeout),
  # and the separators the library accepts besides '|', shared out among the layouts.
  ascii=$(printf "$(printf '\\x%x' $(seq 32 126))")
  labels=("${ascii:0:24}" "${ascii:24:24}" "${ascii:48:24}" "${ascii:72}")
  extra_separators=(46 44 47 92 10 13 9 45 95 33 96 126 94 32)
fi
# PELLIX_LAYOUTS="de fr" runs those alone (a layout with a variant: "us_dvorak").
if [ -n "${PELLIX_LAYOUTS:-}" ]; then
  read -ra layouts <<<"$PELLIX_LAYOUTS"
  layouts=("${layouts[@]//_/ }")
fi

serial=00000000012345
keys_helper="$PELLIX_WINE $build/bin/pellix-wand-keys.exe"

# Pellix with style 1 (type, separator, data), the separator $1, Return after each scan and
# Auto-ISBN for books. The longest timeout: the keys Wine misreports come by a slower road.
start_pellix() {
  if [ -n "$pellix_pid" ]; then e2e_quit_pellix || true; e2e_stop "$pellix_pid"; fi
  {
    e2e_settings '"Style"=dword:00000001' "$(printf '"SepChar"=dword:%08x' "$1")" \
      '"TermChar"=dword:0000000d' '"Timeout"=dword:000007d0' '"CurProfile"="E2E"'
    e2e_profile_type IB5 "" "" "" 1
  } >"$work/settings.reg"
  e2e_load_settings "$work/settings.reg"
  e2e_start_pellix
}

scan() {
  e2e_scan --rate-ms 1 --layout "$layout" --keybd-event "$keys_helper" "$@" \
    2>>"$work/emulator.log"
}

# One scan, and what it adds to the application's text ($want so far in $cls's $child). Each
# lands before the next begins: a burst must end within the timeout, and the application
# must not be busy with what came before.
step() {  # TEXT SCAN-ARGUMENTS...
  want+=$1
  shift
  scan "$@"
  e2e_app_text "$cls" "$child" "$want"
}

# What the keyboard types for a text: with Caps Lock on ($caps), letters in the other case.
as_typed() {
  if [ -n "$caps" ]; then printf '%s' "$1" | tr 'a-zA-Z' 'A-Za-z'; else printf '%s' "$1"; fi
}

# One application's round: the user's words, the scans, the words again, a stalled burst.
app_round_once() {
  e2e_start_app "$1"
  want=$(as_typed "${words[0]}")
  xdotool type --delay 20 "${words[0]}"
  if [ -n "$caps" ]; then
    local got="" i
    for i in $(seq 100); do
      got=$(probe text "$cls" "$child"; echo x); got=${got%x}
      [ "$got" = "$want" ] || [ "$got" = "${words[0]}" ] && break
      sleep 0.1
    done
    if [ "$got" = "${words[0]}" ]; then
      # Wine 8 may give a program started while the X lock is on (wordpad after notepad) the
      # lock off: the keyboard's letters come out there as without it, and the scans must
      # still be exact. Said, and the round goes on with the lock as that program has it.
      echo "$1: Wine gives it the lock off; its keys as without the lock"
      caps=""
      want=${words[0]}
    fi
  fi
  e2e_app_text "$cls" "$child" "$want" || return 1
  step "IB5${s}0262033844"$'\n' --serial "$serial" --type IB5 --data 9780262033848 || return 1
  step "UPA${s}012345678905"$'\n' --serial "$serial" --type UPA --data 012345678905 || return 1
  for label in "${labels[@]}"; do
    step "128${s}$label"$'\n' --serial "$serial" --type 128 --data "$label" || return 1
  done
  if [ -n "$caps_session" ]; then
    # Backspaces would eat the words before, Escape and Ctrl+V act on the control.
    step "128${s}keepB"$'\n' --serial "$serial" --type 128 --data $'keep\b\b\e\x16B' || return 1
  fi
  xdotool type --delay 20 "${words[1]}"
  step "$(as_typed "${words[1]}$stalled")" --text "$stall" --no-enter
}

# A round with the lock as this session has it ($caps_session), whatever the round found.
app_round() {
  app_round_once "$@"
  local ok=$?
  caps=$caps_session
  return $ok
}

# The applications' rounds (notepad and wordpad unless $2 names them), up to three times each
# (see below). $1 names the round.
apps_rounds() {
  for app in ${2:-notepad wordpad}; do
    # A burst that outlasts the timeout on a loaded machine comes back whole (wordpad is
    # the slower reader); a wrong character comes back every time: up to three rounds.
    for round in 1 2 3; do
      app_round "$app" && break
      e2e_screenshot "$work/$1-$app-round$round.png"
      e2e_stop "$app_pid"
      [ "$round" -lt 3 ] || fail "$layout, separator $(printf %q "$s")${caps:+, Caps Lock on}, $app"
      echo "$layout, separator $(printf %q "$s"), $app: a burst came back whole, once more"
    done
    e2e_screenshot "$work/$1-$app.png"
    e2e_stop "$app_pid"
  done
}

caps="" caps_session=""

for i in "${!layouts[@]}"; do
  layout=${layouts[i]} start=$SECONDS
  set -- $layout
  setxkbmap -rules evdev -model pc105 -layout "$1" ${2:+-variant "$2"}
  # Each Wine process reads the keymap when it starts.
  [ -z "$pellix_pid" ] || { e2e_quit_pellix || true; e2e_stop "$pellix_pid"; pellix_pid=""; }
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  wine "$build/bin/pellix-layout-check.exe" "$layout" </dev/null 2>/dev/null | tr -d '\r' ||
    fail "$layout: the fake keyboard's table is not Wine's"
  # The user's words, and the stalled burst's keys as the layout gives them back (Dvorak: b,
  # c are x, j). Russian letters have no place in code page 1252, the test prefix's: digits.
  words=("before " "after ") stall=bc stalled=bc
  case $layout in
    "us dvorak") stalled=xj ;;
    ru) words=("1 " "2 ") stall=12 stalled=12 ;;
  esac
  separators=(124)
  for ((k = i; k < ${#extra_separators[@]}; k += ${#layouts[@]})); do
    separators+=("${extra_separators[k]}")
  done
  for sep in "${separators[@]}"; do
    start_pellix "$sep"
    case $sep in 9) s=$'\t' ;; 10 | 13) s=$'\n' ;; *) s=$(printf "\\x$(printf %x "$sep")") ;; esac
    apps_rounds "${layout/ /-}-$sep"
  done
  echo "$layout: exact in notepad and wordpad, separators ${separators[*]} ($((SECONDS - start)) s)"
  if [ "$i" -eq 0 ]; then
    # The X server's lock key, as the user presses it; Wine follows it. Pressed for each
    # application anew: under Wine 8 a program started while the lock was on from before
    # types the user's keys as if it were off (with no lock key typed by the library).
    caps=1 caps_session=1
    for app in ${PELLIX_CAPS_APPS:-notepad wordpad}; do
      xdotool key Caps_Lock
      apps_rounds "${layout/ /-}-capslock" "$app"
      xdotool key Caps_Lock
    done
    caps="" caps_session=""
    echo "$layout: with Caps Lock on, exact in ${PELLIX_CAPS_APPS:-notepad wordpad}"
  fi
done
grep -h "went by keybd_event" "$work/emulator.log" | sort -u || true
echo "keyboard layouts: all checks passed"
