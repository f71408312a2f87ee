#!/usr/bin/env python3
"""The launch table: hostile labels x kinds of Program, and what each launched program must
record. Writes, into WORK: settings.reg (the profile "E2E", one entry per kind), offers.txt
(one scan per cell: type, the label's ANSI bytes in hex, serial) and expected.txt (every line
the recorders must write, sorted). A cell's tag, the entry's type and the row's serial, is
the first thing each program records.
  launch_table.py WORK WORK_WINDOWS_PATH RECORDER_WINDOWS_PATH [CODE_PAGE]
CODE_PAGE is the system's ANSI code page: 1252 (the default) or 932, for a shorter table of
double-byte texts whose trail bytes are '\\' or '|'.
"""
import re
import sys
from urllib.parse import quote

work, winwork, recorder = sys.argv[1:4]
code_page = "cp" + (sys.argv[4] if len(sys.argv) > 4 else "1252")
bat = winwork + "\\rec.bat"
host = winwork + "\\hosts\\wscript.exe"

# The labels as the wand delivers them: bytes of the ANSI code page (1252 here).
labels = [
    # codes: every one launches everywhere
    b"026203384X", b"0262033844", b"012345678905", b"9780262033848", b"4006381333931",
    b"01234565",
    # words and blanks
    b"LIB-7.A_1", b"x --delete-all y", b"a b",
    # the attacks that were tried, then each character alone
    b"1&record", b"a';calc;'", b"-oC:\\x.bat", b"a,b;c=d", b"ends\\",
    "表\" --evil 表\"".encode("cp932"),  # double-byte text, its bytes read as 1252
    "café".encode("cp1252"),
] + [b"a" + c.encode() + b"b" for c in "&|<>^%!(),;=\"\\ "] + [
    b"a%PATH%b", b"-x", b"/x", b"x\" --evil \"y"]
if code_page == "cp932":
    labels = [t.encode("cp932") for t in ("表\" --evil 表\"", "ソ\" & calc", "ポ-x", "0262033844")]


def text(label):
    return label.decode(code_page, errors="replace")


def digits(t):
    return re.fullmatch(r"[0-9]+|[0-9]{9}[Xx]", t) is not None


def word(t):
    return re.fullmatch(r"[A-Za-z0-9._-]+", t) is not None and t[0] not in "-/"


def spaced(t):
    return re.fullmatch(r"[A-Za-z0-9._ -]+", t) is not None and t[0] not in "-/"


def bat_line(*args):
    args = list(args) + [""] * (9 - len(args))
    return "bat " + " ".join("[%s]" % a for a in args)


def exe_line(tail, *args):
    listed = "".join("[%s]" % a for a in args)
    return "%s\t%s\t%s" % (tail, listed, listed)


# type, Program, Parameters, who passes, the line its program writes (tag, label text)
kinds = [
    ("901", recorder, "$2$3 a $1 z", word,
     lambda g, t: exe_line("%s a %s z" % (g, t), g, "a", t, "z")),
    ("902", recorder, '$2$3 --title="Book: $1" --save', spaced,
     lambda g, t: exe_line('%s --title="Book: %s" --save' % (g, t), g, "--title=Book: " + t, "--save")),
    ("903", recorder, '$2$3 --title="Book: "$1 --save', word,
     lambda g, t: exe_line('%s --title="Book: "%s --save' % (g, t), g, "--title=Book: " + t, "--save")),
    ("904", bat, "$2$3 $1 C:\\out", digits, lambda g, t: bat_line(g, t, "C:\\out")),
    ("905", winwork + "\\REC.BAT. ", '$2$3 "$1"', digits, lambda g, t: bat_line(g, '"%s"' % t)),
    ("906", winwork + "\\rec.lnk", "$2$3 $1", digits, lambda g, t: bat_line(g, t)),
    ("907", "cmd", "/c %s $2$3 $1" % bat, digits, lambda g, t: bat_line(g, t)),
    ("908", host, "$2$3 //nologo rec.vbs $1", digits,
     lambda g, t: exe_line("%s //nologo rec.vbs %s" % (g, t), g, "//nologo", "rec.vbs", t)),
    ("909", "pellixlib://lookup/$2$3/$1", "", lambda t: True,
     lambda g, t: exe_line('url "pellixlib://lookup/%s/%s"' % (g, quote(t.encode("utf-8"), safe="-._~")),
                           "url", "pellixlib://lookup/%s/%s" % (g, quote(t.encode("utf-8"), safe="-._~")))),
    ("910", "$1", "", lambda t: False, None),  # the label never names what runs
]


def reg(s):
    return s.replace("\\", "\\\\").replace('"', '\\"')


with open(work + "/settings.reg", "w", newline="\r\n") as f:
    f.write('REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Settings]\n')
    f.write('"Style"=dword:00000000\n"TermChar"=dword:0000000a\n"CurProfile"="E2E"\n\n')
    for code, program, params, _, _ in kinds:
        f.write('[HKEY_CURRENT_USER\\Software\\Obrelle Works\\Pellix\\Profiles\\E2E\\%s]\n' % code)
        f.write('"Trans"=""\n"Command"="%s"\n"Params"="%s"\n' % (reg(program), reg(params)))
        f.write('"AutoConv"=dword:00000000\n"Show"=dword:00000000\n\n')
    # The scheme's handler is the recorder (Wine opens a scheme registered under HKLM only).
    f.write('[HKEY_LOCAL_MACHINE\\Software\\Classes\\pellixlib]\n@="URL:Pellix test"\n"URL Protocol"=""\n\n')
    f.write('[HKEY_LOCAL_MACHINE\\Software\\Classes\\pellixlib\\shell\\open\\command]\n')
    f.write('@="%s"\n\n' % reg('"%s" url "%%1"' % recorder))

offers, expected = [], []
for row, label in enumerate(labels):
    serial = "%02d" % row
    for code, _, _, passes, line in kinds:
        offers.append("%s %s %s" % (code, label.hex(), serial))
        if passes(text(label)):
            expected.append(line(code + serial, text(label)))
with open(work + "/offers.txt", "w") as f:
    f.write("\n".join(offers) + "\n")
with open(work + "/expected.txt", "w", encoding="utf-8") as f:
    f.write("\n".join(sorted(expected)) + "\n")
print("%d labels x %d kinds: %d launches expected" % (len(labels), len(kinds), len(expected)))
