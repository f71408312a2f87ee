# Sourced by every script and test that runs Windows programs under Wine.
#
# Two flavours: win32 (x86 programs, Wine's 32-bit loader) and win64 (x64 programs, the 64-bit
# loader). Whether a flavour runs on this machine is found by trying it: some machines run no
# 32-bit x86 code at all, and there the 32-bit loader cannot even start ("Exec format error").
# Debian's /usr/bin/wine always picks the 32-bit loader when it is installed, so the loader of
# the flavour meant is called directly.
#
#   pellix_runs_32bit_code        status 0 when this kernel runs a 32-bit x86 Linux program
#                                 (a 96-byte one made on the spot); kept in PELLIX_RUNS_32BIT
#   pellix_flavour_runs FLAVOUR   status 0 when the flavour's programs run here; else 1, with
#                                 the reason in PELLIX_WHY. Tried once per run: the answer is
#                                 kept in PELLIX_RUNS_win32 / PELLIX_RUNS_win64 for children.
#   pellix_pick_flavour           the flavour to use: PELLIX_FLAVOUR when set, else the first
#                                 of win32, win64 that runs; fails saying why none does
#   pellix_use_flavour FLAVOUR    from now on `wine` is that flavour's loader, WINEARCH its
#                                 architecture and WINEPREFIX (unless set) its private prefix
#   pellix_wine_up                a private X display (unless PELLIX_KEEP_DISPLAY and DISPLAY
#                                 are set) and the prefix's Wine server, started; fails saying
#                                 what is missing
#   pellix_wine_down              stops what pellix_wine_up started
#
# A test run by ctest learns its flavour from PELLIX_FLAVOUR (set by the build's test
# properties); sourcing this file then selects it at once.

PELLIX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
PELLIX_XVFB_PID=""
PELLIX_WHY=""

pellix_wine_loader() {
  local name
  case $1 in
    win32) name=wine ;;
    win64) name=wine64 ;;
    *) echo "unknown Windows flavour '$1' (win32 or win64)" >&2; return 1 ;;
  esac
  if [ -x "/usr/lib/wine/$name" ]; then echo "/usr/lib/wine/$name"
  else command -v "$name" || echo "/usr/lib/wine/$name"; fi
}

pellix_runs_32bit_code() {
  local probe rc=0
  if [ -z "${PELLIX_RUNS_32BIT:-}" ]; then
    mkdir -p "$PELLIX_ROOT/build" && probe=$(mktemp "$PELLIX_ROOT/build/probe32.XXXXXX") || return 1
    # ELF32 i386 header, one loadable segment, then: mov eax,1; mov ebx,42; int 0x80 (exit 42).
    printf '%b' '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
      '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
      '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
      '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
      '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' \
      '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    # A test may stand in a probe of its own (PELLIX_32BIT_PROBE) for the kernel's answer.
    "${PELLIX_32BIT_PROBE:-$probe}" </dev/null >/dev/null 2>&1 || rc=$?
    rm -f "$probe"
    if [ "$rc" -eq 42 ]; then PELLIX_RUNS_32BIT=yes; else PELLIX_RUNS_32BIT=no; fi
    export PELLIX_RUNS_32BIT
  fi
  [ "$PELLIX_RUNS_32BIT" = yes ]
}

pellix_flavour_runs() {
  local flavour=$1 var=PELLIX_RUNS_$1 loader out bits rc probe
  if [ -n "${!var:-}" ]; then
    [ "${!var}" = yes ] && return 0
    PELLIX_WHY=${!var#no: }
    return 1
  fi
  loader=$(pellix_wine_loader "$flavour") || return 1
  bits=${flavour#win}
  PELLIX_WHY=""
  if [ ! -x "$loader" ] && [ "$flavour" = win32 ] && ! pellix_runs_32bit_code; then
    PELLIX_WHY="this machine does not run 32-bit x86 code, so 32-bit Wine is not installed"
  elif [ ! -x "$loader" ] && [ "$flavour" = win32 ] && [ -s "$PELLIX_ROOT/build/i386-skipped" ]; then
    PELLIX_WHY=$(cat "$PELLIX_ROOT/build/i386-skipped")
  elif [ ! -x "$loader" ]; then
    PELLIX_WHY="Wine's $bits-bit loader is not installed ($loader): run scripts/install-deps"
  elif ! out=$("$loader" --version 2>&1 </dev/null); then
    PELLIX_WHY="Wine's $bits-bit loader cannot start here ($loader: ${out##*: })"
    [ "$flavour" = win32 ] && PELLIX_WHY+="; this machine does not run 32-bit x86 code"
  else
    # The loader starts; now a real Windows program of the flavour, Wine's own command
    # interpreter, in a prefix kept for this probe (made once, about 10 s).
    probe=$PELLIX_ROOT/build/wine-probe/$flavour
    mkdir -p "$(dirname "$probe")"
    rc=0
    WINEPREFIX=$probe WINEARCH=$flavour timeout 300 "$loader" cmd /c exit 7 \
      </dev/null >/dev/null 2>&1 || rc=$?
    WINEPREFIX=$probe wineserver -k >/dev/null 2>&1 || true
    [ "$rc" -eq 7 ] ||
      PELLIX_WHY="a $bits-bit Windows program does not run under $loader (status $rc)"
  fi
  if [ -z "$PELLIX_WHY" ]; then
    export "$var=yes"
    return 0
  fi
  export "$var=no: $PELLIX_WHY"
  return 1
}

pellix_pick_flavour() {
  local f whys=""
  if [ -n "${PELLIX_FLAVOUR:-}" ]; then
    pellix_flavour_runs "$PELLIX_FLAVOUR" && { echo "$PELLIX_FLAVOUR"; return 0; }
    echo "The $PELLIX_FLAVOUR flavour cannot run here: $PELLIX_WHY" >&2
    return 1
  fi
  for f in win32 win64; do
    pellix_flavour_runs "$f" && { echo "$f"; return 0; }
    whys+="  $f: $PELLIX_WHY"$'\n'
  done
  printf 'No Windows flavour can run on this machine:\n%s' "$whys" >&2
  echo "Install Wine with scripts/install-deps (x64 programs need wine64)." >&2
  return 1
}

pellix_use_flavour() {
  PELLIX_WINE=$(pellix_wine_loader "$1") || return 1
  export PELLIX_FLAVOUR=$1 WINEARCH=$1
  export WINEPREFIX=${WINEPREFIX:-$PELLIX_ROOT/build/wine-$1}
}

wine() {
  if [ -z "${PELLIX_WINE:-}" ]; then
    echo "lib-wine.sh: no Windows flavour chosen (pellix_use_flavour)" >&2
    return 1
  fi
  "$PELLIX_WINE" "$@"
}

pellix_wine_up() {
  local n
  if [ -z "${PELLIX_WINE:-}" ]; then
    echo "lib-wine.sh: no Windows flavour chosen (pellix_use_flavour)" >&2
    return 1
  fi
  if [ -z "${PELLIX_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    if ! command -v Xvfb >/dev/null; then
      echo "Windows programs need an X display and Xvfb is not installed:" \
           "run scripts/install-deps (package xvfb)" >&2
      return 1
    fi
    for n in $(seq 91 120); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    # -noreset: a keyboard layout set with setxkbmap stays when its last client goes.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    PELLIX_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "Xvfb did not start on display :$n" >&2
      return 1
    fi
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's own services now, detached from any pipe: a test runner that started them
  # would wait for them to close its output before it could finish.
  if ! wine cmd /c exit >/dev/null 2>&1 </dev/null; then
    echo "Wine ($PELLIX_WINE) cannot run programs in $WINEPREFIX" >&2
    return 1
  fi
}

pellix_wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$PELLIX_XVFB_PID" ]; then
    kill "$PELLIX_XVFB_PID" 2>/dev/null || true
    wait "$PELLIX_XVFB_PID" 2>/dev/null || true
    PELLIX_XVFB_PID=""
  fi
}

if [ -n "${PELLIX_FLAVOUR:-}" ]; then pellix_use_flavour "$PELLIX_FLAVOUR"; fi
