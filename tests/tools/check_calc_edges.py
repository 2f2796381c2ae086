#!/usr/bin/env python3
"""kanaroll-calc at its edges, one row of the table per case: the exit status a
script relies on, what standard error must name, and the answers that must not
be lost on the way.

    check_calc_edges.py CALC
"""

import os
import subprocess
import sys

PAIR = "たろう\tはなこ\n".encode()
ANSWER = "153115 68426 4268 684 42\t42\n".encode()

# name, arguments, standard input, reader closes early, status, on stderr, exact stdout
CASES = [
    ("help", ["--help"], b"", False, 0, None, None),
    ("unknown argument", ["--bogus"], b"", False, 2, "usage:", b""),
    ("extra argument", ["-x", "y"], PAIR, False, 2, "usage:", b""),
    # The lines before a cut last line keep their answers; the cut one gets none.
    ("cut last line", [], PAIR + "たろう\tは".encode(), False, 2, "line 2: cut off", ANSWER),
    ("cut only line", [], "たろう\tはなこ".encode(), False, 2, "line 1: cut off", b""),
    ("cut CRLF line", [], PAIR + b"\r", False, 2, "line 2: cut off", ANSWER),
    ("whole lines", [], PAIR * 3, False, 0, None, ANSWER * 3),
    # A reader that is gone before the first write: status 1, not death by SIGPIPE.
    ("reader closed at once", [], PAIR * 200_000, True, 1, "write error: Broken pipe", None),
]


def run(calc, args, data, close_early):
    if not close_early:
        p = subprocess.run([calc] + args, input=data, capture_output=True, timeout=60)
        return p.returncode, p.stderr.decode(errors="replace"), p.stdout
    r, w = os.pipe()
    os.close(r)
    try:
        # The child gets SIGPIPE at its default, as from a shell.
        p = subprocess.run([calc] + args, input=data, stdout=w, stderr=subprocess.PIPE, timeout=60)
    finally:
        os.close(w)
    return p.returncode, p.stderr.decode(errors="replace"), None


def main():
    calc = sys.argv[1]
    failures = 0
    for name, args, data, close_early, want_rc, want_err, want_out in CASES:
        rc, err, out = run(calc, args, data, close_early)
        problems = []
        if rc != want_rc:
            problems.append(f"status {rc}, expected {want_rc}")
        if want_err is not None and want_err not in err:
            problems.append(f"standard error lacks {want_err!r}: {err!r}")
        if want_err is None and err:
            problems.append(f"unexpected standard error: {err!r}")
        if want_out is not None and out != want_out:
            problems.append(f"standard output {out!r}, expected {want_out!r}")
        if problems:
            failures += 1
            print(f"FAIL {name}: " + "; ".join(problems))
        else:
            print(f"ok   {name}")

    # What --help promises is what the manual page says and the code does.
    help_text = run(calc, ["--help"], b"", False)[2].decode()
    for promise in ("status 2", "status 1", "cut off", "unknown argument", "closes"):
        if promise not in help_text:
            failures += 1
            print(f"FAIL help text lacks {promise!r}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
