# End-to-end helpers: sourced by tests that start Wine programs on an X display, type wand
# scans at them with tools/wand-emulator and check what arrived.
#
# The caller provides the flavour, DISPLAY and WINEPREFIX (scripts/lib-wine.sh:
# pellix_use_flavour, pellix_wine_up) and should
# `trap e2e_cleanup EXIT`. Every process started here is remembered by its pid and killed by
# e2e_cleanup, by that pid only.
#
#   e2e_start VAR PROGRAM.exe ARGS...   start a Wine program in the background; its pid in VAR
#   e2e_stop PID                        end one program started by e2e_start
#   e2e_wait_window TITLE [SECONDS]     print the X id of the first window so named, or fail
#   e2e_wait_gone TITLE [SECONDS]       wait until no window is so named
#   e2e_focus WINDOW_ID                 click into the middle of a window to give it the keys
#   e2e_scan ARGS...                    run tools/wand-emulator with ARGS
#   e2e_wait_text FILE TEXT [SECONDS]   wait until FILE holds exactly TEXT; show it if not
#   e2e_wait_file FILE [SECONDS]        wait until FILE exists
#   e2e_until SECONDS COMMAND...        run COMMAND until it succeeds, or fail after SECONDS
#   e2e_screenshot PNG                  the whole screen into PNG
#   e2e_winpath PATH                    the Windows name of a Unix path (drive Z:)
#   e2e_cleanup                         kill everything started here
#
# For a test that sets `build` (the build folder) and `work` (its own folder):
#   probe ARGS...                       pellix-probe.exe ARGS, its output without CRs
#   probe_rc ARGS...                    the same, its status only
#   fail TEXT                           "FAIL: TEXT", a screenshot in $work/failure.png, exit 1
#   e2e_start_pellix                    $build/bin/pellix.exe -98, up; its pid in pellix_pid
#   e2e_start_app notepad|wordpad       Wine's notepad or wordpad, up and focused; sets app_pid,
#                                       and cls and child: its window class and edit control's
#   e2e_app_text CLASS CHILD TEXT       wait until the control CHILD of the window of CLASS
#                                       holds exactly TEXT (15 s); show it if not
#   e2e_quit_pellix                     the menu's Exit, and wait until the program is gone
#   e2e_settings VALUE_LINE...          REGEDIT4 lines: the program's Settings key, these values
#   e2e_profile_type TYPE TRANS COMMAND PARAMS AUTOCONV
#                                       REGEDIT4 lines of one type in the profile "E2E"
#   e2e_load_settings REGFILE           replace the program's stored settings with REGFILE's
#   e2e_private_prefix DIR              a Wine prefix of its own on the same display, for a
#                                       test that kills the program: Wine, unlike Windows,
#                                       keeps calling a killed process's hooks
#   e2e_drop_private_prefix             end it, remove it, back to the shared prefix

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
E2E_PIDS=()

e2e_log() { echo "e2e: $*" >&2; }

e2e_start() {
  local var=$1; shift
  # Detached from the caller's output: a test runner waits for every holder of its pipe.
  # The loader itself, not the `wine` function: the pid must be the program's own, to kill.
  "$PELLIX_WINE" "$@" </dev/null >/dev/null 2>&1 &
  E2E_PIDS+=("$!")
  printf -v "$var" '%s' "$!"
}

e2e_stop() {
  local pid=$1 i
  kill "$pid" 2>/dev/null || true
  for i in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

e2e_wait_window() {
  local title=$1 secs=${2:-20} id i
  for i in $(seq $((secs * 10))); do
    id=$(xdotool search --name "^${title}\$" 2>/dev/null | head -n1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  e2e_log "no window named '$title' after ${secs}s"
  return 1
}

e2e_wait_gone() {
  local title=$1 secs=${2:-20} i
  for i in $(seq $((secs * 10))); do
    xdotool search --name "^${title}\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  e2e_log "window '$title' still there after ${secs}s"
  return 1
}

e2e_focus() {
  local id=$1 geo x y w h
  geo=$(xdotool getwindowgeometry --shell "$id") || return 1
  x=$(sed -n 's/^X=//p' <<<"$geo"); y=$(sed -n 's/^Y=//p' <<<"$geo")
  w=$(sed -n 's/^WIDTH=//p' <<<"$geo"); h=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
  xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
  sleep 0.3
}

e2e_scan() { "$E2E_ROOT/tools/wand-emulator" "$@"; }

e2e_wait_file() {
  local file=$1 secs=${2:-20} i
  for i in $(seq $((secs * 10))); do
    [ -e "$file" ] && return 0
    sleep 0.1
  done
  e2e_log "no file $file after ${secs}s"
  return 1
}

e2e_until() {
  local secs=$1 i
  shift
  for i in $(seq $((secs * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

e2e_wait_text() {
  local file=$1 want=$2 secs=${3:-10} i got=""
  for i in $(seq $((secs * 10))); do
    if [ -e "$file" ]; then
      got=$(cat "$file"; echo x); got=${got%x}
      [ "$got" = "$want" ] && return 0
    fi
    sleep 0.1
  done
  e2e_log "$file: expected $(printf '%q' "$want"), got $(printf '%q' "$got")"
  return 1
}

e2e_screenshot() {
  mkdir -p "$(dirname "$1")"
  import -window root "$1" 2>/dev/null || e2e_log "screenshot $1 failed"
}

e2e_winpath() {
  local p
  p=$(realpath -m "$1")
  echo "Z:${p//\//\\}"
}

probe() { wine "$build/bin/pellix-probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
probe_rc() { wine "$build/bin/pellix-probe.exe" "$@" </dev/null >/dev/null 2>&1; }
fail() { echo "FAIL: $*" >&2; e2e_screenshot "$work/failure.png"; exit 1; }

e2e_start_pellix() {
  e2e_start pellix_pid "$build/bin/pellix.exe" -98
  probe_rc wait-window PellixWndCls 30 || fail "pellix did not start"
  sleep 1
}

e2e_start_app() {
  local app=$1 id="" i
  if [ "$app" = notepad ]; then
    cls=Notepad child=Edit
    e2e_start app_pid notepad.exe
  else
    cls=WORDPADTOP child=RichEdit20W
    e2e_start app_pid 'C:\Program Files\Windows NT\Accessories\wordpad.exe'
  fi
  probe wait-window "$cls" 30 >/dev/null || fail "$app did not start"
  for i in $(seq 100); do
    id=$(xdotool search --onlyvisible --class "$app" 2>/dev/null | head -n1) || true
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] && e2e_focus "$id" || fail "no X window of $app"
}

e2e_app_text() {
  local cls=$1 child=$2 want=$3 got="" i
  for i in $(seq 150); do
    got=$(probe text "$cls" "$child"; echo x); got=${got%x}
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  echo "$cls: expected $(printf '%q' "$want"), got $(printf '%q' "$got")" >&2
  return 1
}

e2e_quit_pellix() {
  probe_rc command PellixWndCls 1019 && probe_rc wait-gone PellixWndCls 10
}

e2e_settings() {
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Settings]\n'
  printf '%s\n' "$@"
  echo
}

e2e_profile_type() {
  printf '[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Profiles\\E2E\\%s]\n' "$1"
  printf '"Trans"="%s"\n"Command"="%s"\n"Params"="%s"\n' "$2" "$3" "$4"
  printf '"AutoConv"=dword:%08x\n"Show"=dword:00000001\n\n' "$5"
}

e2e_load_settings() {
  sed -i 's/\r*$/\r/' "$1"
  wine reg delete 'HKCU\Software\Obrelle Works' /f >/dev/null 2>&1 || true
  wine regedit /s "$(e2e_winpath "$1")" >/dev/null 2>&1
}

E2E_SHARED_PREFIX=""
e2e_private_prefix() {
  local xvfb=${PELLIX_XVFB_PID:-}
  E2E_SHARED_PREFIX=$WINEPREFIX
  export WINEPREFIX=$1
  PELLIX_XVFB_PID="" PELLIX_KEEP_DISPLAY=1 pellix_wine_up
  PELLIX_XVFB_PID=$xvfb
}

e2e_drop_private_prefix() {
  [ -n "$E2E_SHARED_PREFIX" ] || return 0
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  export WINEPREFIX=$E2E_SHARED_PREFIX
  E2E_SHARED_PREFIX=""
}

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do e2e_stop "$pid"; done
  E2E_PIDS=()
}

# A test's Wine session (scripts/lib-wine.sh sourced first): under scripts/test the display
# and prefix are there already; a test run alone starts its own, and e2e_end stops it again
# after killing what the test started.
E2E_OWN_WINE=""
e2e_begin() {
  if [ -z "${DISPLAY:-}" ]; then E2E_OWN_WINE=1; pellix_wine_up; fi
}
e2e_end() {
  e2e_cleanup
  [ -z "$E2E_OWN_WINE" ] || pellix_wine_down
}
# The EXIT trap of a test that starts Pellix: a clean exit first, so that the hooks go with
# it even when a check failed, then everything the test started.
e2e_finish() {
  e2e_quit_pellix || true
  e2e_cleanup
  e2e_drop_private_prefix
  e2e_end
}
