#!/usr/bin/env bash
# The wand emulator's keys through X and Wine into a real edit control, with no Pellix
# running: every character of the wand text must arrive as typed, capitals included (the
# wand holds Shift across the key), and the final Enter as a line break.
#   wand_emulator_e2e.sh PELLIX-TARGET.EXE WORKDIR
set -euo pipefail
target=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
finish() { e2e_end; }
trap finish EXIT

rm -rf "$work" && mkdir -p "$work"
out="$work/typed.txt"
e2e_start target_pid "$target" --title "Pellix Emulator Check" --out "$(e2e_winpath "$out")"
win=$(e2e_wait_window "Pellix Emulator Check" 30)
e2e_wait_file "$out" 30
e2e_focus "$win"

e2e_scan --text ".CNfW.fHmc.CNfW." --rate-ms 2
e2e_wait_text "$out" $'.CNfW.fHmc.CNfW.\n'
e2e_scan --serial 00000000012345 --type IB5 --data 9780262033848 --rate-ms 0
want=".CNfW.fHmc.CNfW.
$("$root/tools/wand-emulator" --serial 00000000012345 --type IB5 --data 9780262033848 \
    --dry-run | sed -n 's/^# wand text: //p')
"
e2e_wait_text "$out" "$want"
e2e_screenshot "$work/screenshot.png"
echo "wand emulator: both bursts arrived intact"
