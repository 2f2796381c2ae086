#!/usr/bin/env python3
"""kanaroll-calc on a long line under an address-space limit far below what
the whole triangle would take: the long line is answered in full, a line too
large for the limit gets an error, and the lines after it are still answered.
Then input that cannot be read and output that cannot be written.

    check_calc_long.py CALC [--no-limit]   (sanitizer builds reserve more address space)
"""

import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile

LIMIT = 64 << 20
LONG = 12_000  # its triangle, kept whole, took about 180 MB


def binom_mod10(n, k):
    """C(n, k) mod 10: Lucas' theorem mod 2 and mod 5, then the Chinese remainder."""
    mod2 = 1 if (k & ~n) == 0 else 0
    small = [[1, 0, 0, 0, 0], [1, 1, 0, 0, 0], [1, 2, 1, 0, 0], [1, 3, 3, 1, 0], [1, 4, 6, 4, 1]]
    mod5 = 1
    while n or k:
        mod5 = mod5 * small[n % 5][k % 5] % 5
        n //= 5
        k //= 5
    return (5 * mod2 + 6 * mod5) % 10


def row_from_row0(row0, r, positions):
    """Digits of row r at the given positions, reached directly from row 0."""
    coeff = [binom_mod10(r, j) for j in range(r + 1)]
    return [sum(c * int(row0[k + j]) for j, c in enumerate(coeff)) % 10 for k in positions]


def main():
    calc = os.path.abspath(sys.argv[1])
    limited = '--no-limit' not in sys.argv
    random.seed(13)
    vowels = {'あ': 1, 'い': 2, 'う': 3, 'え': 4, 'お': 5}
    self_name = ''.join(random.choice('あいうえお') for _ in range(LONG - 1))
    lines = ['たろう\tはなこ', self_name + '\tい']
    if limited:
        lines.append('あ' * 10_000_000 + '\tい')
    lines.append('あえ\tいいえ')
    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (LIMIT, LIMIT))
    proc = subprocess.run([calc], input=('\n'.join(lines) + '\n').encode(), capture_output=True,
                       preexec_fn=limit if limited else None)
    err = proc.stderr.decode(errors='replace')
    out = proc.stdout.split(b'\n')
    failures = []
    if out[-1] != b'' or len(out) != 4:
        sys.exit('expected 3 output lines, got %d; stderr: %s' % (len(out) - 1, err))
    if out[0] != b'153115 68426 4268 684 42\t42':
        failures.append('first line: %r' % out[0][:80])
    if out[2] != b'14224 5646 100\t100':
        failures.append('last line: %r' % out[2][:80])

    rows_text, _, pct = out[1].partition(b'\t')
    rows = rows_text.decode().split(' ')
    row0 = ''.join(str(vowels[c]) for c in self_name) + '2'
    if rows[0] != row0:
        failures.append('row 0 of the long line differs')
    if any(len(rows[i]) != LONG - i for i in range(len(rows))):
        failures.append('a row of the long line has the wrong length')
    last = rows[-1]
    if not (last == '100' or len(last) == 2) or len(rows) not in (LONG - 1, LONG - 2) or int(pct) != int(last):
        failures.append('the long line ends wrongly: %d rows, last %r, percentage %r' % (len(rows), last, pct))
    for r in (1, 777, LONG // 2, len(rows) - 1):
        positions = [0, len(rows[r]) // 2, len(rows[r]) - 1]
        want = row_from_row0(row0, r, positions)
        got = [int(rows[r][k]) for k in positions]
        if got != want:
            failures.append('row %d of the long line: %r, expected %r' % (r, got, want))

    expected_rc = 2 if limited else 0
    if proc.returncode != expected_rc:
        failures.append('exit status %d, expected %d' % (proc.returncode, expected_rc))
    if limited and 'kanaroll-calc: line 3: too long for the memory available' not in err:
        failures.append('no error for line 3 on standard error: %r' % err)
    if not limited and err:
        failures.append('unexpected standard error: %r' % err)
    failures += unreadable_and_unwritable(calc)
    if failures:
        sys.exit('\n'.join(failures))


def unreadable_and_unwritable(calc):
    """Each fault is told once, with the system's reason, and ends the run;
    a closed pipe keeps its default end by SIGPIPE (128 + 13)."""
    folder = tempfile.mkdtemp()
    for count in (1, 200_000):
        with open(os.path.join(folder, str(count)), 'wb') as f:
            f.write('たろう\tはなこ\n'.encode() * count)
    cases = [  # name, shell command ("$0" is the program), exit status, standard error
        ('stdin closed', '"$0" <&- >/dev/null', 2, 'cannot read standard input: Bad file descriptor'),
        ('stdin a directory', '"$0" < . >/dev/null', 2, 'cannot read standard input: Is a directory'),
        ('stdout full', '"$0" < 1 >/dev/full', 1, 'write error: No space left on device'),
        ('stdout full, many lines', '"$0" < 200000 >/dev/full', 1, 'write error: No space left on device'),
        ('stdout closed', '"$0" < 1 >&-', 1, 'write error: Bad file descriptor'),
        # SIGPIPE is ignored: a script sees status 1, as for any write error.
        ('reader gone', '"$0" < 200000 | head -n 1 >/dev/null', 1, 'write error: Broken pipe'),
    ]
    failures = []
    for name, command, rc, message in cases:
        try:
            proc = subprocess.run(['bash', '-o', 'pipefail', '-c', command, calc],
                                  capture_output=True, timeout=20, cwd=folder)
        except subprocess.TimeoutExpired:
            failures.append('%s: still running after 20 s' % name)
            continue
        err = proc.stderr.decode(errors='replace')
        want = 'kanaroll-calc: %s\n' % message if message else ''
        if proc.returncode != rc or err != want:
            failures.append('%s: exit status %d, standard error %r; expected %d, %r'
                            % (name, proc.returncode, err[:200], rc, want))
    shutil.rmtree(folder)
    return failures


if __name__ == '__main__':
    main()
