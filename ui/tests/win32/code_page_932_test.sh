#!/usr/bin/env bash
# The registry's text calls and the Applications rows under Japanese Windows' code page 932,
# where a name's UTF-8 bytes written through the A calls come back changed: a Wine prefix of
# its own with a Japanese locale, then the given test programs' real-registry cases in it.
#   code_page_932_test.sh WORK_DIR GTEST_FILTER PROGRAM...
set -euo pipefail
work=$1 filter=$2
shift 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$root/scripts/lib-wine.sh"
rm -rf "$work" && mkdir -p "$work/locale"
export LOCPATH="$work/locale"
if ! localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1; then
  echo "skipped: no Japanese locale could be made here (the locales package)"
  exit 77
fi
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEPREFIX=$work/prefix
if [ -n "${DISPLAY:-}" ]; then export PELLIX_KEEP_DISPLAY=1; fi
trap pellix_wine_down EXIT
pellix_wine_up
page=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP \
  </dev/null 2>/dev/null | tr -d '\r' | awk '$1 == "ACP" { print $3 }')
if [ "$page" != 932 ]; then
  echo "the prefix's ANSI code page is '$page', not 932" >&2
  exit 1
fi
echo "the prefix's ANSI code page is 932"
for program in "$@"; do
  wine "$program" --gtest_filter="$filter" </dev/null
done
