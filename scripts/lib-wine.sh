# Sourced by the test scripts: a private X display and Wine prefix for one run, stopped again.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wine}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
PELLIX_XVFB_PID=""

pellix_wine_up() {
  if [ -z "${PELLIX_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 91 120); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    PELLIX_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  # Start Wine's own services now, detached from any pipe: a test runner that started them
  # would wait for them to close its output before it could finish.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

pellix_wine_down() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$PELLIX_XVFB_PID" ]; then
    kill "$PELLIX_XVFB_PID" 2>/dev/null || true
    wait "$PELLIX_XVFB_PID" 2>/dev/null || true
  fi
}
