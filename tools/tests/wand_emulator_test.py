"""Tests of tools/wand-emulator: its encoding and the exact key rhythm it sends."""
import importlib.machinery
import importlib.util
import io
import os
import subprocess
import sys
import unittest
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "wand-emulator")

_loader = importlib.machinery.SourceFileLoader("wand_emulator", TOOL)
_spec = importlib.util.spec_from_loader("wand_emulator", _loader)
wand = importlib.util.module_from_spec(_spec)
_loader.exec_module(wand)


def run_tool(*args):
    r = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True)
    return r.returncode, r.stdout, r.stderr


class Encoding(unittest.TestCase):
    def test_known_fields(self):
        for raw, spelled in [(b"", ""), (b"1", "CG"), (b"12", "CNe"), (b"123", "CNfW"),
                             (b"UPA", "fHmc")]:
            with self.subTest(raw=raw):
                self.assertEqual(wand.encode_field(raw), spelled)

    def test_agrees_with_pellix_encode(self):
        exe = os.environ.get("PELLIX_ENCODE")
        if not exe or not os.path.exists(exe):
            self.skipTest("pellix-encode not built")
        cases = [("123", "UPA", "123"), ("00000000012345", "IB5", "9780262033848"),
                 ("C1234567890123", "E13", "0012345678905"), ("x", "CC", "a+b-c.d~")]
        for serial, bartype, data in cases:
            with self.subTest(data=data):
                want = subprocess.run([exe, serial, bartype, data], capture_output=True,
                                      text=True, check=True).stdout.strip()
                got = wand.encode_text(serial.encode(), bartype.encode(), data.encode())
                self.assertEqual(got, want)

    def test_pellix_encode_usage(self):
        exe = os.environ.get("PELLIX_ENCODE")
        if not exe or not os.path.exists(exe):
            self.skipTest("pellix-encode not built")
        # Wrong arguments are an error: usage on standard error, status 2, nothing printed.
        for args in ([], ["123"], ["--help", "x"], ["1", "UPA"], ["1", "UPA", "2", "3"]):
            with self.subTest(args=args):
                r = subprocess.run([exe, *args], capture_output=True, text=True)
                self.assertEqual((r.returncode, r.stdout), (2, ""))
                self.assertIn("Usage: pellix-encode", r.stderr)
        r = subprocess.run([exe, "--help"], capture_output=True, text=True)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        self.assertIn("Usage: pellix-encode", r.stdout)


class Rhythm(unittest.TestCase):
    # X keycodes: the US scan code plus 8 (left Alt 56, F10 68, Shift 42, Enter 28).
    PREFIX = ["keydown 64", "keydown 76", "keyup 76", "keyup 64"]
    ENTER = ["keydown 36", "keyup 36"]

    def test_dry_run_prints_the_whole_burst_as_us_key_positions(self):
        rc, out, _ = run_tool("--text", ".aZ9+-.", "--dry-run")
        self.assertEqual(rc, 0)
        lines = out.splitlines()
        self.assertEqual(lines[0], "# wand text: .aZ9+-.")
        burst = [
            "keydown 60", "keyup 60",
            "keydown 38", "keyup 38",
            "keydown 50", "keydown 52", "keyup 52", "keyup 50",
            "keydown 18", "keyup 18",
            "keydown 50", "keydown 21", "keyup 21", "keyup 50",
            "keydown 20", "keyup 20",
            "keydown 60", "keyup 60"]
        self.assertEqual(lines[1:], self.PREFIX + burst + self.ENTER)
        # The same positions on a German X layout; the two Wine misreports go by keybd_event.
        rc, out, _ = run_tool("--text", ".aZ9+-.", "--dry-run", "--layout", "de")
        burst[11:13] = [k + " (keybd_event)" for k in burst[11:13]]
        burst[14:16] = [k + " (keybd_event)" for k in burst[14:16]]
        self.assertEqual(out.splitlines()[1:], self.PREFIX + burst + self.ENTER)

    def test_fields_are_encoded_before_typing(self):
        rc, out, _ = run_tool("--serial", "123", "--type", "UPA", "--data", "123", "--dry-run")
        self.assertEqual(rc, 0)
        self.assertEqual(out.splitlines()[0], "# wand text: .CNfW.fHmc.CNfW.")
        # 16 characters, 7 of them capitals: 9 * 2 + 7 * 4 key events between prefix and Enter.
        self.assertEqual(len(out.splitlines()) - 1, 4 + 9 * 2 + 7 * 4 + 2)

    def test_bad_requests_are_refused(self):
        for args in [("--text", ".a b."), ("--text", ".a.", "--serial", "1"),
                     ("--serial", "1", "--type", "UPA"), ("--text", ".a.", "--rate-ms", "-1"),
                     ()]:
            with self.subTest(args=args):
                rc, out, err = run_tool(*args, "--dry-run")
                self.assertEqual(rc, 2)
                self.assertEqual(out, "")
                self.assertIn("wand-emulator", err)

    def test_no_display_is_an_error_not_silence(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        r = subprocess.run([sys.executable, TOOL, "--text", ".a."], capture_output=True,
                           text=True, env=env)
        self.assertEqual(r.returncode, 1)
        self.assertIn("DISPLAY", r.stderr)


if __name__ == "__main__":
    unittest.main()
