#!/usr/bin/env bash
# Runs a command in a Wine prefix of its own, with a Wine server of its own that is stopped
# afterwards. For tests that kill a process holding global hooks: Wine, unlike Windows, keeps
# calling a killed process's hooks, and those must not reach the tests that come after.
# The display is the caller's when DISPLAY is set, else a private Xvfb.
#   own-prefix.sh PREFIX_DIR COMMAND ARGS...
set -euo pipefail
prefix=$1; shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
export WINEPREFIX=$prefix
if [ -n "${DISPLAY:-}" ]; then export PELLIX_KEEP_DISPLAY=1; fi
source "$root/scripts/lib-wine.sh"
trap pellix_wine_down EXIT
mkdir -p "$(dirname "$prefix")"
pellix_wine_up
"$@"
