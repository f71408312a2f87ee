#!/usr/bin/env bash
# The launch table under Wine: hostile labels (each of & | < > ^ % ! ( ) , ; = " \ and the
# blank, a leading - and /, the attacks once tried, a double-byte text) and every kind of code
# offered to the real pellix.exe (its KV_CC_MSG handler) against every kind of Program: a
# program (pellix-record-argv, which records its command line, CommandLineToArgvW's and the
# C run-time's arguments), a batch file by three spellings (its path, "REC.BAT. " and a
# shortcut; rec.bat records %1..%9), cmd, a script host (the recorder named wscript.exe), a
# web address (its scheme's handler is the recorder) and a Program that is the label itself.
# What every program recorded must be exactly the table's expectation (tray/tests/
# launch_table.py): no label adds an argument, runs a second command or names what runs, and
# every ISBN, UPC and EAN launches everywhere. Then a shorter table of double-byte texts with
# the system's code page 932 (Japanese), where a character's second byte may be '\' or '|'.
#   launch_table_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
trap e2e_finish EXIT

rm -rf "$work" && mkdir -p "$work/hosts"
winwork=$(e2e_winpath "$work")
cp "$build/bin/pellix-record-argv.exe" "$work/rec.exe"
cp "$build/bin/pellix-record-argv.exe" "$work/hosts/wscript.exe"
# Each program writes a file of its own: many run at once.
printf '@echo off\r\n>>"%%PELLIX_RECORD_DIR%%\\bat-%%1.txt" echo bat [%%1] [%%2] [%%3] [%%4] [%%5] [%%6] [%%7] [%%8] [%%9]\r\n' >"$work/rec.bat"
mkdir -p "$work/records"
export PELLIX_RECORD_DIR
PELLIX_RECORD_DIR=$(e2e_winpath "$work/records")
recorded() { cat "$work"/records/*.txt 2>/dev/null | tr -d '\r'; }
lines() { recorded | grep -c . || true; }
# The table for the code page (1252 or 932) against a fresh pellix.exe in the current prefix.
run_table() {
  rm -f "$work"/records/*
  python3 "$root/tray/tests/launch_table.py" "$work" "$winwork" "$winwork\\rec.exe" "$1"
  wine "$build/bin/pellix-offer.exe" shortcut "$winwork\\rec.lnk" "$winwork\\rec.bat" </dev/null >/dev/null 2>&1 ||
    fail "no shortcut"
  e2e_load_settings "$work/settings.reg"
  e2e_start_pellix
  wine "$build/bin/pellix-offer.exe" scans "$(e2e_winpath "$work/offers.txt")" 100 </dev/null 2>/dev/null | tr -d '\r'
  want=$(grep -c . "$work/expected.txt")
  arrived() { [ "$(lines)" -ge "$want" ]; }
  e2e_until 90 arrived || true
  sleep 3  # anything a label made run besides
  recorded | LC_ALL=C sort >"$work/recorded-sorted.txt"
  LC_ALL=C sort "$work/expected.txt" >"$work/expected-sorted.txt"
  if ! diff -u "$work/expected-sorted.txt" "$work/recorded-sorted.txt" >"$work/diff.txt"; then
    cat "$work/diff.txt" >&2
    fail "the launch table ($1) differs (- expected, + recorded): $(grep -c '^[-+][^-+]' "$work/diff.txt") lines"
  fi
  echo "launch table ($1): $want launches recorded as expected, the rest refused"
  e2e_quit_pellix || fail "pellix did not exit"
}

echo "== every label offered to every kind of Program, code page 1252"
run_table 1252

# Japanese Windows: double-byte texts whose second byte is '\' or '|' are one character each,
# and an address gets their UTF-8.
echo "== double-byte texts in code page 932 (a Japanese locale, a prefix of its own)"
export LOCPATH="$work/locale" LANG=ja_JP.UTF-8
mkdir -p "$LOCPATH"
localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1 ||
  fail "no Japanese locale could be made (the locales package: scripts/install-deps)"
e2e_private_prefix "$work/prefix-932"
run_table 932
