#!/usr/bin/env bash
# The History page, the scan log and "Start with Windows" in the real program under Wine,
# with the real KEYWEDGE.DLL, on the keyboard-and-message path ("-98", real X keys) and on the
# low-level path (the wand's keys through keybd_event): scans of each kind (typed, launched,
# refused, filtered to nothing, claimed by the foreground window, by the Settings window or by
# the program's hidden window in front; hostile labels and data the atom table reads as a
# number) land in the log in order, one CSV line each, with the right action and no serial;
# LibreOffice finds no formula in the log or the copied cells; the log is appended to while
# another program holds it open, shared or alone, and keeps the scan of a program killed
# right after it; Copy gives the cells and the CSV, Save As the log's bytes; Clear empties the
# history; an unwritable log shows no box, keeps its lines and writes them once it can; a log
# held alone over three scans and then the session's end or Exit loses no row and damages
# none once the program starts again; a repeat is marked, and ignored within the seconds set
# on the page; LibreOffice reads Copy's HTML and the saved workbook with every digit; a log
# that blocks holds no key of the low-level path over 50 ms and loses no line; the Run value
# is written, shown checked, repointed from another copy, updated and removed.
#   history_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/lib-wine.sh"
source "$root/tools/e2e-lib.sh"
e2e_begin
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
rm -rf "$work" && mkdir -p "$work/logs"
e2e_private_prefix "$work/prefix"  # the test kills the program
trap e2e_finish EXIT

bin=$(e2e_winpath "$build/bin")
# The program each scan went to, in the log's last field: the target's, or Pellix's own for a
# scan its own window took (tpc: the target's cell as a spreadsheet exports it).
tp=pellix-target.exe op=pellix.exe tpc='"pellix-target.exe"'

typed="$work/typed.txt"
launched="$work/launched.txt"
log="$work/logs/scans.csv"
export PELLIX_RECORD_FILE
PELLIX_RECORD_FILE=$(e2e_winpath "$launched")

# Data alone with a line feed after; UPA launches the recorder, IB5 becomes ISBN-10, E13's
# filter keeps nothing. The target window takes UPE scans itself.
recorder=${bin//\\/\\\\}\\\\pellix-record-args.exe
winlog=$(e2e_winpath "$log")
{
  e2e_settings '"Style"=dword:00000000' '"TermChar"=dword:0000000a' '"CurProfile"="E2E"' \
    '"LogScans"=dword:00000001' "\"LogFile\"=\"${winlog//\\/\\\\}\""
  e2e_profile_type UPA "" "$recorder" 'upa $1' 0
  e2e_profile_type E13 "-" "" "" 0
  e2e_profile_type IB5 "" "" "" 1
  e2e_profile_type E08 "" 'C:\\no\\look.bat' '\"$1\"' 0
  # An address with a scheme, and a Program that is the label's own field.
  e2e_profile_type ITF "" 'pellixlib://library.example/isbn/$1' "" 0
  e2e_profile_type C93 "" '$1' "" 0
  # The scheme's handler is the recorder (Wine opens a scheme registered under HKLM only).
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\pellixlib]\n@="URL:Pellix test"\n"URL Protocol"=""\n\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Classes\\pellixlib\\shell\\open\\command]\n'
  printf '@="\\"%s\\" url \\"%%1\\""\n\n' "$recorder"
} >"$work/settings.reg"
e2e_load_settings "$work/settings.reg"

e2e_start_pellix
e2e_start target_pid "$build/bin/pellix-target.exe" --title "Pellix History Target" \
  --out "$(e2e_winpath "$typed")" --claim UPE
win=$(e2e_wait_window "Pellix History Target" 30) || fail "no target window"
e2e_wait_file "$typed" 30 || fail "the target does not report"
e2e_focus "$win"
serial=00000000012345
# The log without its times, each checked for ISO 8601 with an offset first.
log_rows() {
  local bad
  bad=$(tail -n +2 "$log" | grep -cvE '^"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}",' || true)
  [ "$bad" -eq 0 ] || fail "a log line without its ISO time: $(cat -A "$log")"
  sed -E 's/^"[0-9]{4}[0-9-]{6}T[0-9:]{8}[+-][0-9:]{5}",/T,/' "$log"
}
crlf() { printf '%s\r\n' "$@"; }
# The target in front with its caret after the text: a click lands wherever the lines reach.
focus_end() { e2e_focus "$win" && xdotool key ctrl+End && sleep 0.2; }
# A real spreadsheet reads FILE with ",", ";" and Tab as its separator, formulas evaluated
# as a user's import does: no cell of it may be a formula.
lo_no_formula() {
  local sep out="$work/lo"
  command -v soffice >/dev/null || fail "no LibreOffice (scripts/install-deps installs it)"
  for sep in 44 59 9; do
    rm -rf "$out" && mkdir -p "$out" && cp "$1" "$out/in.csv"
    soffice -env:UserInstallation="file://$work/lo-profile" --headless \
      --infilter="CSV:$sep,34,76,1,,1033,false,true,false,false,false,-1,true" \
      --convert-to fods --outdir "$out" "$out/in.csv" >/dev/null 2>&1
    [ -s "$out/in.fods" ] || fail "LibreOffice did not read $2"
    ! grep -q 'table:formula=' "$out/in.fods" ||
      fail "$2 holds a formula with separator $sep: $(grep -o 'table:formula="[^"]*"' "$out/in.fods" | head -3)"
  done
}

echo "== scans of each kind: typed, launched, quoted, guarded, claimed by the sheet in front"
e2e_scan --serial "$serial" --type IB5 --data 9780262033848
e2e_wait_text "$typed" $'0262033844\n' 15 || fail "IB5 scan"
e2e_scan --serial "$serial" --type UPA --data 012345678905
e2e_wait_text "$launched" $'upa 012345678905\n' 20 || fail "UPA command"
e2e_scan --serial "$serial" --type 128 --data 'a,"b'
e2e_scan --serial "$serial" --type C39 --data=-LIB+7
e2e_wait_text "$typed" $'0262033844\na,"b\n-LIB+7\n' 15 || fail "128 and C39 scans"
e2e_scan --serial "$serial" --type E13 --data 4006381333931
e2e_wait_text "$typed" $'0262033844\na,"b\n-LIB+7\n\n' 15 || fail "E13 scan: the terminator alone"
e2e_scan --serial "$serial" --type UPE --data 0123456
sleep 2
e2e_wait_text "$typed" $'0262033844\na,"b\n-LIB+7\n\n' 1 || fail "a scan the target took was typed"
echo "== hostile labels refused, an address's percent-encoded; #n data once each"
e2e_scan --serial "$serial" --type UPA --data '0262033844" & calc.exe & "'
e2e_scan --serial "$serial" --type E08 --data '1" & calc.exe & "'
e2e_scan --serial "$serial" --type UPA --data '#5'
e2e_scan --serial "$serial" --type ITF --data 'x" --evil-switch "y'
e2e_scan --serial "$serial" --type C93 --data "$bin\\pellix-record-args.exe"
e2e_scan --serial "$serial" --type C93 --data 'pellixlib://evil'
for d in '#0' '#49152' '#1234' '1;=1+1;' 'x,@A1'; do
  e2e_scan --serial "$serial" --type C39 --data "$d"
done
launched_want=$'upa 012345678905\nurl "pellixlib://library.example/isbn/x%22%20--evil-switch%20%22y"\n'
e2e_wait_text "$launched" "$launched_want" 20 || fail "hostile or #5 UPA: $(cat -A "$launched")"
e2e_wait_text "$typed" $'0262033844\na,"b\n-LIB+7\n\n#0\n#49152\n#1234\n1;=1+1;\nx,@A1\n' 15 ||
  fail "#n scans and formulas: $(cat -A "$typed")"

# Another program holds the log open for reading, as a spreadsheet may, over the next scan.
held=$(probe hold "$winlog" 4000) &
hold_pid=$!
sleep 1
probe_rc command PellixWndCls 104
sheet=$(e2e_wait_window Pellix 20) || fail "no sheet"
sleep 1
e2e_focus "$sheet"
e2e_scan --serial "$serial" --type C39 --data SHEET
wait "$hold_pid" || fail "the log could not be held open"
want=$(crlf "Time,Type,Data,Action,Program" 'T,"IB5","0262033844","typed","'"$tp"'"' \
  'T,"UPA","012345678905","launched","'"$tp"'"' 'T,"128","a,""b","typed","'"$tp"'"' 'T,"C39","'"'"'-LIB+7","typed","'"$tp"'"' \
  'T,"E13","","filtered to nothing","'"$tp"'"' 'T,"UPE","01234565","claimed by a window","'"$tp"'"' \
  'T,"UPA","0262033844"" & calc.exe & ""","refused","'"$tp"'"' 'T,"E08","1"" & calc.exe & ""","refused","'"$tp"'"' \
  'T,"UPA","#5","refused","'"$tp"'"' 'T,"ITF","x"" --evil-switch ""y","launched","'"$tp"'"' \
  "T,\"C93\",\"$bin\\pellix-record-args.exe\",\"refused\",\"$tp\"" 'T,"C93","pellixlib://evil","refused","'"$tp"'"' \
  'T,"C39","#0","typed","'"$tp"'"' 'T,"C39","#49152","typed","'"$tp"'"' \
  'T,"C39","#1234","typed","'"$tp"'"' 'T,"C39","1;'"'"'=1+1;","typed","'"$tp"'"' \
  'T,"C39","x,'"'"'@A1","typed","'"$tp"'"' \
  'T,"C39","SHEET","claimed by a window","'"$op"'"'; echo x)
for _ in $(seq 50); do [ "$(log_rows; echo x)" = "$want" ] && break; sleep 0.1; done
[ "$(log_rows; echo x)" = "$want" ] || fail "log: $(cat -A "$log")"
grep -q "$serial" "$log" && fail "the serial is in the log"
e2e_wait_text "$launched" "$launched_want" 1 || fail "launched late: $(cat -A "$launched")"
typed_so_far=$'0262033844\na,"b\n-LIB+7\n\n#0\n#49152\n#1234\n1;=1+1;\nx,@A1\n'
e2e_wait_text "$typed" "$typed_so_far" 1 || fail "a scan was typed into the sheet"
lo_no_formula "$log" "the log"

echo "== the History page: Copy gives the log's bytes, Save As too, Clear empties it"
probe_rc sheet-page 2 || fail "no third page"
sleep 0.5
e2e_screenshot "$work/history-page.png"
# The buttons' clicks are posted: each check waits for its outcome rather than a fixed time.
copied() { probe_rc clipboard "$(e2e_winpath "$work/$1")" Csv && cmp -s "$work/$1" "$2"; }
probe_rc click Pellix 1061 || fail "no Copy button"
e2e_until 10 copied copied.csv "$log" || fail "Copy: $(cat -A "$work/copied.csv")"
probe_rc clipboard "$(e2e_winpath "$work/cells.txt")" || fail "no Unicode text"
# The cells: the log's fields between tabs.
sed 's/","/"\t"/g; s/^Time,Type,Data,Action,Program/Time\tType\tData\tAction\tProgram/' "$log" | cmp -s - "$work/cells.txt" ||
  fail "cells: $(cat -A "$work/cells.txt")"
lo_no_formula "$work/cells.txt" "the copied cells"
probe_rc click Pellix 1062 || fail "no Save As button"
dialog=$(e2e_wait_window "Save As" 10) || fail "no Save As dialog"
# A scan with the file dialog in front is the program's own: not typed into its name box,
# its Enter saves nothing.
geo=$(xdotool getwindowgeometry --shell "$dialog")
xdotool mousemove --sync $(($(sed -n 's/^X=//p' <<<"$geo") + 60)) $(($(sed -n 's/^Y=//p' <<<"$geo") + 8)) click 1
sleep 0.3
e2e_scan --serial "$serial" --type C39 --data DIALOG
dialog_row() { tail -n1 "$log" | grep -q '^"[^"]*","C39","DIALOG","claimed by a window"'; }
e2e_until 10 dialog_row || fail "the scan with the dialog in front: $(tail -n1 "$log" | cat -A)"
e2e_wait_window "Save As" 1 >/dev/null || fail "the scan's Enter closed the dialog"
saved="$work/saved.csv"
probe_rc set-text "Save As" 1152 "$(e2e_winpath "$saved")" ||
  probe_rc set-text "Save As" 1148 "$(e2e_winpath "$saved")" || fail "no file name box"
probe_rc click "Save As" 1 || fail "no Save button"
e2e_until 10 cmp -s "$saved" "$log" || fail "Save As: $(cat -A "$saved")"
probe_rc click Pellix 1063 || fail "no Clear button"
printf 'Time,Type,Data,Action,Program\r\n' >"$work/header.csv"
copy_cleared() { probe_rc click Pellix 1061 && sleep 0.2 && copied cleared.csv "$work/header.csv"; }
e2e_until 10 copy_cleared || fail "Clear: $(cat -A "$work/cleared.csv")"
probe_rc command PellixWndCls 103   # OK closes the sheet
e2e_wait_gone Pellix 10 || fail "the sheet stayed"

echo "== killed right after a scan: its line is in the log"
focus_end
e2e_scan --serial "$serial" --type IB5 --data 9780262033848
typed_so_far+=$'0262033844\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "scan before the kill"
e2e_stop "$pellix_pid"
# Not a repeat: Clear above started the run's rows afresh.
[ "$(tail -n1 "$log" | sed -E 's/^[^,]*,//')" = $'"IB5","0262033844","typed","'"$tp"$'"\r' ] ||
  fail "the last scan is not in the log: $(cat -A "$log")"
[ "$(wc -l <"$log")" -eq 21 ] || fail "log lines: $(cat -A "$log")"

echo "== a log held by another program alone for 1 s loses no line"
e2e_start_pellix
focus_end
probe hold "$winlog" 1000 alone >/dev/null &
hold_pid=$!
sleep 0.3
e2e_scan --serial "$serial" --type C39 --data HELD
wait "$hold_pid" || fail "the log could not be held alone"
e2e_until 5 grep -q '"HELD"' "$log" || fail "the line written while held is lost: $(cat -A "$log")"

echo "== an unwritable log: no box, the scans typed, kept and written once it can be"
missing_dir="$work/no-such-folder"
missing=$(e2e_winpath "$missing_dir/scans.csv")
probe_rc command PellixWndCls 1019
wait "$pellix_pid" || true
wine reg add 'HKCU\Software\Obrelle Works\Pellix\Settings' /v LogFile /d "$missing" /f >/dev/null 2>&1
e2e_start_pellix
focus_end
e2e_scan --serial "$serial" --type C39 --data KEPT1
typed_so_far+=$'HELD\nKEPT1\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "the scan was not typed"
probe_rc no-window "Pellix Scan Log" 3 || fail "a box that could take the focus"
reg=$(wine reg query 'HKCU\Software\Obrelle Works\Pellix\Settings' /v LogScans 2>/dev/null | tr -d '\r')
grep -qE 'LogScans\s+REG_DWORD\s+0x1' <<<"$reg" || fail "logging was turned off: $reg"
mkdir -p "$missing_dir"
focus_end
e2e_scan --serial "$serial" --type C39 --data KEPT2
typed_so_far+=$'KEPT2\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "the scan after the failure"
kept() { [ "$(sed -E 's/^"[^"]*",//' "$missing_dir/scans.csv" 2>/dev/null | tr -d '\r')" = \
  "$(printf 'Time,Type,Data,Action,Program\n"C39","KEPT1","typed","'"$tp"'"\n"C39","KEPT2","typed","'"$tp"'"')" ]; }
e2e_until 10 kept || fail "kept lines: $(cat -A "$missing_dir/scans.csv" 2>&1)"

# The log held alone by another program over three scans; then the session ends (Windows'
# messages, then the process ended as Windows ends it), or Exit. Once the log is released and
# the program starts again, the log holds every row once, in order, with no fragment.
unwritten_file() { find "$work/prefix/drive_c/users" -name 'Unwritten scans.csv' 2>/dev/null; }
want_log=$'Time,Type,Data,Action,Program\n"C39","KEPT1","typed","'"$tp"$'"\n"C39","KEPT2","typed","'"$tp"$'"'
for ending in end-session exit; do
  echo "== the log held alone over three scans, then $ending: nothing lost, nothing damaged"
  n=${ending%%-*}
  focus_end
  e2e_scan --serial "$serial" --type C39 --data "${n}1"
  e2e_until 10 grep -q "\"${n}1\"" "$missing_dir/scans.csv" || fail "${n}1 not logged"
  probe hold "$missing" 9000 alone >/dev/null &
  hold_pid=$!
  sleep 0.5
  for i in 2 3 4; do e2e_scan --serial "$serial" --type C39 --data "$n$i"; done
  typed_so_far+="${n}1"$'\n'"${n}2"$'\n'"${n}3"$'\n'"${n}4"$'\n'
  e2e_wait_text "$typed" "$typed_so_far" 15 || fail "scans while held: $(cat -A "$typed")"
  if [ "$ending" = end-session ]; then
    took=$(probe end-session) || fail "the end-session messages"
    echo "WM_ENDSESSION with the log held: $took ms"
    awk -v t="$took" 'BEGIN { exit !(t <= 5000) }' || fail "WM_ENDSESSION took $took ms"
  else
    probe_rc command PellixWndCls 1019
  fi
  wait "$pellix_pid" || true
  [ -n "$(unwritten_file)" ] || fail "$ending: nothing kept for the next start"
  wait "$hold_pid" || fail "the log could not be held alone"
  e2e_start_pellix
  focus_end
  e2e_scan --serial "$serial" --type C39 --data "${n}5"
  typed_so_far+="${n}5"$'\n'
  e2e_wait_text "$typed" "$typed_so_far" 15 || fail "the scan after the restart"
  want_log+=$(for i in 1 2 3 4 5; do printf '\n"C39","%s%s","typed","'"$tp"'"' "$n" "$i"; done)
  whole_log() { [ "$(sed -E 's/^"[^"]*",//' "$missing_dir/scans.csv" | tr -d '\r')" = "$want_log" ]; }
  e2e_until 10 whole_log || fail "$ending: $(cat -A "$missing_dir/scans.csv")"
  [ -z "$(unwritten_file)" ] || fail "$ending: the kept scans stayed: $(cat -A "$(unwritten_file)")"
done

echo "== a repeat marked; Ignore a repeat within 3 seconds set on the History page: the repeat beeps and is logged, nothing else"
focus_end
e2e_scan --serial "$serial" --type C39 --data MARK
e2e_scan --serial "$serial" --type C39 --data MARK
typed_so_far+=$'MARK\nMARK\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "a repeat with the setting off: $(cat -A "$typed")"
want_log+=$'\n"C39","MARK","typed","'"$tp"$'"\n"C39","MARK","typed (repeat)","'"$tp"$'"'
probe_rc command PellixWndCls 104
e2e_wait_window Pellix 20 >/dev/null || fail "no sheet"
probe_rc sheet-page 2 || fail "no History page"
sleep 0.5
probe_rc set-text Pellix 1068 3 || fail "no seconds box"
probe_rc press Pellix 1067 || fail "no Ignore a repeat box"
repeat_ms() { wine reg query 'HKCU\Software\Obrelle Works\Pellix\Settings' /v IgnoreRepeatMs 2>/dev/null | tr -d '\r' | grep -qE 'REG_DWORD\s+0xbb8'; }
e2e_until 5 repeat_ms || fail "IgnoreRepeatMs not stored"
e2e_screenshot "$work/history-page-repeat.png"
probe_rc command PellixWndCls 103
e2e_wait_gone Pellix 10 || fail "the sheet stayed"
focus_end
e2e_scan --serial "$serial" --type C39 --data REP
e2e_scan --serial "$serial" --type C39 --data REP
e2e_scan --serial "$serial" --type IBN --data 9780262033848
e2e_scan --serial "$serial" --type 128 --data 12345678901234567890
e2e_scan --serial "$serial" --type IB5 --data 9780262033848
typed_so_far+=$'REP\n9780262033848\n12345678901234567890\n0262033844\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "the repeat was typed: $(cat -A "$typed")"
want_log+=$'\n"C39","REP","typed","'"$tp"$'"\n"C39","REP","repeat ignored","'"$tp"$'"\n"IBN","9780262033848","typed","'"$tp"$'"'
want_log+=$'\n"128","12345678901234567890","typed","'"$tp"$'"\n"IB5","0262033844","typed","'"$tp"$'"'
e2e_until 10 whole_log || fail "repeat: $(cat -A "$missing_dir/scans.csv")"

echo "== LibreOffice reads Copy's HTML and the saved workbook with every digit, every cell text"
# Exported as CSV with every text cell quoted: a cell read as a number would lose its quotes.
lo_cells() {
  local out="$work/lo-cells"
  rm -rf "$out" && mkdir -p "$out" && cp "$1" "$out/in.$2"
  soffice -env:UserInstallation="file://$work/lo-profile" --headless ${3:+--infilter="$3"} \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true' --outdir "$out" "$out/in.$2" >/dev/null 2>&1
  sed -E 's/^"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}[+-][0-9:]{5}",/T,/' "$out/in.csv" | tr -d '\r'
}
want_cells=$'"Time","Type","Data","Action","Program"\nT,"C39","exit5","typed",'"$tpc"$'\nT,"C39","MARK","typed",'"$tpc"$''
want_cells+=$'\nT,"C39","MARK","typed (repeat)",'"$tpc"$'\nT,"C39","REP","typed",'"$tpc"$''
want_cells+=$'\nT,"C39","REP","repeat ignored",'"$tpc"$'\nT,"IBN","9780262033848","typed",'"$tpc"$''
want_cells+=$'\nT,"128","12345678901234567890","typed",'"$tpc"$'\nT,"IB5","0262033844","typed",'"$tpc"$''
probe_rc command PellixWndCls 104
e2e_wait_window Pellix 20 >/dev/null || fail "no sheet"
probe_rc sheet-page 2 || fail "no History page"
sleep 0.5
probe_rc click Pellix 1061 || fail "no Copy button"
html_copied() { probe_rc clipboard "$(e2e_winpath "$work/copied.cfhtml")" "HTML Format" && grep -q 'IB5' "$work/copied.cfhtml"; }
e2e_until 10 html_copied || fail "no HTML on the clipboard"
start=$(sed -n 's/^StartHTML:0*//p' "$work/copied.cfhtml" | tr -d '\r')
tail -c +$((start + 1)) "$work/copied.cfhtml" >"$work/copied.html"
[ "$(lo_cells "$work/copied.html" html 'HTML (StarCalc)')" = "$want_cells" ] ||
  fail "Copy's HTML in LibreOffice: $(lo_cells "$work/copied.html" html 'HTML (StarCalc)' | cat -A)"
probe_rc click Pellix 1062 || fail "no Save As button"
e2e_wait_window "Save As" 10 >/dev/null || fail "no Save As dialog"
book="$work/saved.xlsx"
probe_rc set-text "Save As" 1152 "$(e2e_winpath "$book")" ||
  probe_rc set-text "Save As" 1148 "$(e2e_winpath "$book")" || fail "no file name box"
probe_rc click "Save As" 1 || fail "no Save button"
e2e_until 10 test -s "$book" || fail "no workbook saved"
[ "$(lo_cells "$book" xlsx)" = "$want_cells" ] || fail "the workbook in LibreOffice: $(lo_cells "$book" xlsx | cat -A)"
probe_rc command PellixWndCls 103
e2e_wait_gone Pellix 10 || fail "the sheet stayed"
wine reg add 'HKCU\Software\Obrelle Works\Pellix\Settings' /v IgnoreRepeatMs /t REG_DWORD /d 0 /f >/dev/null 2>&1

echo "== a log whose writing blocks for 5 s, the low-level path: scans flow, no key waits, no line lost"
fifo="$work/blocked.csv"
rm -f "$fifo" && mkfifo "$fifo"
exec 7<>"$fifo"                  # a reader that does not read, and a full pipe
head -c 65536 /dev/zero >&7
probe_rc command PellixWndCls 1019
wait "$pellix_pid" || true
wine reg add 'HKCU\Software\Obrelle Works\Pellix\Settings' /v LogFile /d "$(e2e_winpath "$fifo")" /f >/dev/null 2>&1
# The low-level hook runs on the program's own thread: a write there would hold every key.
e2e_start pellix_pid "$build/bin/pellix.exe"
probe_rc wait-window PellixWndCls 30 || fail "pellix did not start"
sleep 1
focus_end
timed=$(probe wand-ll BLOCK1 BLOCK2 BLOCK3) || fail "the wand could not type"
typed_so_far+=$'BLOCK1\nBLOCK2\nBLOCK3\n'
e2e_wait_text "$typed" "$typed_so_far" 5 || fail "scans held up by the log: $(cat -A "$typed")"
read -r worst keys <<<"$timed"
echo "longest wait of a key for the library's hook while the log blocks: $worst ms ($keys keys)"
awk -v w="$worst" 'BEGIN { exit !(w <= 50) }' || fail "a key waited $worst ms"
# The tray menu leaves the program's hidden window in front: a scan then is the program's
# own, one row, typed nowhere. Typed with keybd_event: after the menu Wine leaves the X focus
# on PointerRoot, and X keys reach no window of Wine at all.
probe_rc notify PellixWndCls 0x205
probe_rc menu 10 || fail "no tray menu"
program_in_front() { [ "$(probe foreground)" = PellixWndCls ]; }
e2e_until 5 program_in_front || fail "in front: $(probe foreground)"
probe_rc wand-ll FRONT || fail "the wand could not type"
timeout 10 cat <&7 >"$work/drained" &
drain_pid=$!
drained() { tr -d '\0\r' <"$work/drained" | grep -v '^Time,Type,Data,Action,Program$' | sed -E 's/^"[^"]*",//'; }
want_drained=$'"C39","BLOCK1","typed","'"$tp"$'"\n"C39","BLOCK2","typed","'"$tp"$'"\n"C39","BLOCK3","typed","'"$tp"$'"\n"C39","FRONT","claimed by a window","'"$op"$'"'
drained_all() { [ "$(drained)" = "$want_drained" ]; }
e2e_until 10 drained_all || fail "log lines while blocked: $(drained | cat -A)"
e2e_wait_text "$typed" "$typed_so_far" 1 || fail "the scan in front of the program was typed"
kill "$drain_pid" 2>/dev/null || true
exec 7<&-

echo "== Start with Windows: written, checked, repointed from another copy, removed"
run_value() { wine reg query "$run_key" /v Pellix 2>/dev/null | tr -d '\r' | sed -n 's/^ *Pellix *REG_SZ *//p'; }
run_value_is() { [ "$(run_value)" = "$1" ]; }
menu_item() {
  probe_rc notify PellixWndCls 0x205
  probe menu 10 | grep -E '^1020 '
}
[ "$(menu_item)" = "1020 Start with Windows" ] || fail "checked without a value"
self="\"$bin\\pellix.exe\""  # started without options above
probe_rc command PellixWndCls 1020
e2e_until 5 run_value_is "$self" || fail "Run value: '$(run_value)', wanted '$self'"
[ "$(menu_item)" = "1020 checked Start with Windows" ] || fail "not checked with the value"
wine reg add "$run_key" /v Pellix /d '"C:\Other\pellix.exe"' /f >/dev/null 2>&1
[ "$(menu_item)" = "1020 Start with Windows" ] || fail "checked for another copy"
probe_rc command PellixWndCls 1020
e2e_until 5 run_value_is "$self" || fail "not repointed: '$(run_value)'"
wine reg add "$run_key" /v Pellix /d "\"$bin\\pellix.exe\" -novxd" /f >/dev/null 2>&1
[ "$(menu_item)" = "1020 checked Start with Windows" ] || fail "not checked with other options"
probe_rc command PellixWndCls 1020
e2e_until 5 run_value_is "$self" || fail "other options not updated: '$(run_value)'"
probe_rc command PellixWndCls 1020
e2e_until 5 run_value_is "" || fail "Run value not removed: '$(run_value)'"
[ "$(menu_item)" = "1020 Start with Windows" ] || fail "checked after removal"

probe_rc command PellixWndCls 1019
rc=0; wait "$pellix_pid" || rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"

echo "== in a folder named in Cyrillic (code page 1252): the log written there, a Run value that exists"
folder="$work/Пеллікс"
mkdir -p "$folder" && cp "$build/bin/pellix.exe" "$build/bin/KEYWEDGE.DLL" "$folder/"
wine reg add 'HKCU\Software\Obrelle Works\Pellix\Settings' /v LogFile /d "$(e2e_winpath "$folder/журнал.csv")" /f >/dev/null 2>&1
e2e_start pellix_pid "$folder/pellix.exe" -98
probe_rc wait-window PellixWndCls 30 || fail "pellix did not start in $folder"
sleep 1
focus_end
e2e_scan --serial "$serial" --type C39 --data FOLDER
typed_so_far+=$'FOLDER\n'
e2e_wait_text "$typed" "$typed_so_far" 15 || fail "the scan from the Cyrillic folder"
e2e_until 10 grep -q '"FOLDER"' "$folder/журнал.csv" || fail "no log in the Cyrillic folder: $(ls "$folder")"
probe_rc command PellixWndCls 1020
# Read back in wide characters: reg query prints the console's code page.
wide_run_value() {
  wine reg export "$run_key" "$(e2e_winpath "$work/run.reg")" /y >/dev/null 2>&1 &&
    iconv -f UTF-16 -t UTF-8 "$work/run.reg" | tr -d '\r' | sed -n 's/^"Pellix"="\(.*\)"$/\1/p'
}
wide_self=$(printf '\\"%s\\\\pellix.exe\\" -98' "$(e2e_winpath "$folder" | sed 's/\\/\\\\/g')")
wide_run_value_is() { [ "$(wide_run_value)" = "$wide_self" ]; }
e2e_until 5 wide_run_value_is || fail "Run value: '$(wide_run_value)', wanted '$wide_self'"
[ "$(menu_item)" = "1020 checked Start with Windows" ] || fail "not checked in the Cyrillic folder"
probe_rc command PellixWndCls 1019
rc=0; wait "$pellix_pid" || rc=$?
[ "$rc" -eq 0 ] || fail "exit code $rc"
echo "history: all checks passed"
