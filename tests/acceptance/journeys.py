#!/usr/bin/env python3
"""End-to-end journeys through Kanaroll as a user meets it.

Each journey starts its own X server and the built program in a fresh working
directory, drives it only with mouse clicks at control centres and with key
presses, and judges it only by the files it leaves and by screenshots.

    journeys.py --app KANAROLL --places PLACES --expected DIR JOURNEY

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

import argparse
import os
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77

SELF_FILE = '自分.txt'
PARTNER_FILE = '相手.txt'
EXPORT_FILE = '一括判断.txt'

EXAMPLE_SELF = ['たろう', 'さくら']
EXAMPLE_PARTNER = ['はなこ', 'ゆうき']
# A longer run: animated, it lasts far longer than the wait for its end after
# the switch to the quick mode.
LONG_SELF = ['たろう', 'さくら', 'あえ']
LONG_PARTNER = ['はなこ', 'ゆうき', 'いいえ', 'あい']
# Every kana the journeys type; each gets a key of its own in the keymap.
TYPED = 'たろうさくらはなこゆうきあえいい'

IVORY = (255, 255, 240)  # background of the drawing area
# A list's first entry lies this far below the list's top edge.
FIRST_ROW_OFFSET = 8



def stop_process(proc):
    """Ends a helper process politely, then firmly."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def stop_group(proc):
    """Ends a helper started in a session of its own, with all it started."""
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


def wait_for(predicate, timeout, what, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure('timed out after %gs waiting for %s' % (timeout, what))
        time.sleep(interval)


def same_bytes(got, expected, what):
    if got != expected:
        show = lambda b: b.decode('cp932', errors='replace')
        raise Failure('%s differs from the expected bytes.\n--- got ---\n%s\n--- expected ---\n%s'
                      % (what, show(got), show(expected)))


def list_bytes(names):
    return ''.join(n + '\r\n' for n in names).encode('cp932')


def read_export(path):
    """The rows of an export file as (name1, name2, percentage) tuples."""
    data = open(path, 'rb').read()
    check(data.endswith(b'\r\n'), 'export file does not end in CR LF')
    rows = []
    for line in data[:-2].split(b'\r\n'):
        m = re.fullmatch(r'"([^"]*)","([^"]*)","(\d+)%"', line.decode('cp932'))
        check(m is not None, 'export line not in the expected form: %r' % line)
        rows.append((m.group(1), m.group(2), int(m.group(3))))
    return rows


def load_places(places_exe):
    out = subprocess.run([places_exe], check=True, capture_output=True, text=True).stdout
    places = {}
    for line in out.splitlines():
        name, *nums = line.split()
        cx, cy, x, y, w, h = map(int, nums)
        places[name] = {'centre': (cx, cy), 'rect': (x, y, w, h)}
    return places


class Display:
    """A private X server with kana on keys of their own."""

    def __init__(self, workdir, screen='1024x768x24', kana_keys=()):
        for tool in ('Xvfb', 'xdotool', 'xkbcomp', 'import', 'convert'):
            if shutil.which(tool) is None:
                raise Skip('%s is not installed' % tool)
        rfd, wfd = os.pipe()
        # -displayfd lets the server pick a free display and tells us when it is ready.
        self.proc = subprocess.Popen(
            ['Xvfb', '-displayfd', str(wfd), '-screen', '0', screen, '-nolisten', 'tcp', '-noreset'],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(wfd)
        number = b''
        deadline = time.monotonic() + 20
        while not number.endswith(b'\n'):
            ready, _, _ = select.select([rfd], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(rfd, 16) if ready else b''
            if not chunk:
                os.close(rfd)
                raise Failure('Xvfb did not start')
            number += chunk
        os.close(rfd)
        self.env = dict(os.environ, DISPLAY=':' + number.decode().strip())
        self.workdir = workdir
        self.bind_kana(TYPED, kana_keys)

    def run(self, *args, check_rc=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, text=True)
        if check_rc and r.returncode != 0:
            raise Failure('%s failed: %s' % (' '.join(args), r.stderr.strip()))
        return r

    def bind_kana(self, chars, first=()):
        # xdotool binds a missing keysym to a spare key only for the moment of
        # the press, and the program may read the key after it is unbound.
        # Keys bound for good avoid that race. The keys named in `first` are
        # taken before the spare ones, and lose their own keysyms.
        dump = os.path.join(self.workdir, 'keymap.xkb')
        self.run('xkbcomp', '-w', '0', '-xkb', self.env['DISPLAY'], dump)
        keymap = open(dump).read()
        sym_at = keymap.index('xkb_symbols')
        codes = re.findall(r'<([^>\s]+)>\s*=\s*(\d+);', keymap[:sym_at])
        symbols = keymap[sym_at:]
        bound = {name: body for name, body in re.findall(r'key\s+<([^>\s]+)>\s*\{([^}]*)\}', symbols)}
        # A key the search misses would be taken as spare and lose its own keysym.
        check(len(bound) == len(re.findall(r'^[ \t]*key\s+<', symbols, re.M)), 'the keymap dump was not understood')
        spare = [n for n, c in codes if n in first]
        spare += [n for n, c in codes if int(c) <= 255 and n not in bound and n not in first]
        spare += [n for n, c in codes if int(c) <= 255 and n in bound
                  and re.fullmatch(r'\s*\[\s*XF86\w+\s*\]\s*', bound[n])]
        chars = sorted(set(chars))
        check(len(spare) >= len(chars), 'not enough spare keys for the kana')
        keys = ''.join('    key <%s> { [ U%04X ] };\n' % (spare[i], ord(ch)) for i, ch in enumerate(chars))
        end = keymap.index('\n};', sym_at)
        open(dump, 'w').write(keymap[:end] + '\n' + keys + keymap[end:])
        self.run('xkbcomp', '-w', '0', dump, self.env['DISPLAY'])

    def windows(self, title):
        r = self.run('xdotool', 'search', '--onlyvisible', '--name', title, check_rc=False)
        return r.stdout.split()

    def focus(self):
        r = self.run('xdotool', 'getwindowfocus', check_rc=False)
        return r.stdout.strip() if r.returncode == 0 else ''

    def key(self, *keys):
        self.run('xdotool', 'key', '--delay', '40', *keys)

    def type(self, text):
        self.run('xdotool', 'type', '--delay', '40', text)

    def screenshot(self):
        path = os.path.join(self.workdir, 'screen.png')
        self.run('import', '-window', 'root', path)
        return Screenshot(path)

    def close(self):
        stop_process(self.proc)


class Screenshot:
    def __init__(self, path):
        self.path = path
        self.cache = {}

    def region(self, rect):
        """Raw RGB bytes of a rectangle (x, y, w, h) in screen pixels."""
        if rect not in self.cache:
            x, y, w, h = rect
            self.cache[rect] = subprocess.run(
                ['convert', self.path, '-crop', '%dx%d+%d+%d' % (w, h, x, y), '+repage', '-depth', '8', 'rgb:-'],
                check=True, capture_output=True).stdout
            if len(self.cache[rect]) != 3 * w * h:
                raise Failure('region %r lies outside the screen' % (rect,))
        return self.cache[rect]

    def share_of(self, rect, colour):
        data = self.region(rect)
        pixels = len(data) // 3
        want = bytes(colour)
        return sum(1 for i in range(0, len(data), 3) if data[i:i + 3] == want) / pixels


class Kanaroll:
    """The program in one working directory, driven through its window."""

    def __init__(self, display, app, places, workdir, extra_env=None, file_size_limit=None, others=(), user=None):
        # user: (name or uid, group id) to run the program as, or None
        self.display = display
        self.places = places
        self.workdir = workdir
        env = dict(display.env)
        for var in ('QT_QPA_PLATFORM', 'QT_SCREEN_SCALE_FACTORS', 'QT_AUTO_SCREEN_SCALE_FACTOR'):
            env.pop(var, None)
        env['QT_SCALE_FACTOR'] = '1'  # the design table maps twips to pixels one to one
        runtime = os.path.join(workdir, 'runtime')
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env['XDG_RUNTIME_DIR'] = runtime
        env.update(extra_env or {})
        self.log = open(os.path.join(workdir, 'kanaroll.log'), 'wb')
        def limit():
            if file_size_limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        as_user = {'user': user[0], 'group': user[1], 'extra_groups': []} if user is not None else {}
        self.proc = subprocess.Popen([app], cwd=workdir, env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     preexec_fn=limit, **as_user)
        # Other programs still running on the display have windows of the same name.
        self.window = wait_for(lambda: self.live() and [w for w in display.windows('^Kanaroll$') if w not in others],
                               30, 'the main window')[0]
        self.find_origin()
        # Mapped is not yet painted; the empty drawing area shows it is.
        wait_for(lambda: display.screenshot().share_of(self.rect('Picture1', inset=4), IVORY) == 1.0, 15,
                 'the window to be painted')

    def find_origin(self):
        geometry = self.display.run('xdotool', 'getwindowgeometry', '--shell', self.window).stdout
        values = dict(line.split('=', 1) for line in geometry.split())
        self.origin = (int(values['X']), int(values['Y']))

    def move_to(self, x, y):
        """Puts the window at a place of its own (there is no window manager)."""
        self.display.run('xdotool', 'windowmove', '--sync', self.window, str(x), str(y))
        self.find_origin()

    def take_focus(self):
        """Keys go to the window with the input focus, not the one under the mouse."""
        self.display.run('xdotool', 'windowfocus', '--sync', self.window)

    def live(self):
        if self.proc.poll() is not None:
            raise Failure('the program ended unexpectedly with status %d' % self.proc.returncode)
        return True

    def file(self, name):
        return os.path.join(self.workdir, name)

    def point(self, name):
        cx, cy = self.places[name]['centre']
        return self.origin[0] + cx, self.origin[1] + cy

    def rect(self, name, inset=0):
        x, y, w, h = self.places[name]['rect']
        return (self.origin[0] + x + inset, self.origin[1] + y + inset, w - 2 * inset, h - 2 * inset)

    def click_at(self, x, y, count=1):
        self.live()
        # The server takes the move before the press; --sync would hang when
        # the pointer is already there.
        self.display.run('xdotool', 'mousemove', str(x), str(y),
                         'click', '--repeat', str(count), '--delay', '80', '1')

    def click(self, name, count=1):
        self.click_at(*self.point(name), count=count)

    def double_click_first_entry(self, list_name):
        x, y, _, _ = self.rect(list_name)
        self.click_at(self.point(list_name)[0], y + FIRST_ROW_OFFSET, count=2)

    def enter_text(self, box, text):
        """Click into a box, replace its text, and leave the focus there."""
        self.click(box)
        self.display.key('ctrl+a', 'BackSpace')
        self.display.type(text)

    def answer(self, title, *keys):
        """Wait for the message box with this title, press keys in it, and
        wait until it is gone."""
        box = wait_for(lambda: self.live() and self.display.windows('^%s$' % title), 15,
                       'the box ' + title)[0]
        # Keys go to the window with the input focus; the box takes it as it opens.
        try:
            wait_for(lambda: self.display.focus() == box, 5, 'the focus in ' + title)
        except Failure:
            self.display.run('xdotool', 'windowfocus', '--sync', box)
        self.display.key(*keys)
        wait_for(lambda: self.live() and box not in self.display.windows('^%s$' % title), 15,
                 'the box %s to close' % title)

    def no_box(self, title):
        return not self.display.windows('^%s$' % title)

    def grid_shown(self, shot):
        # The strip of buttons under the grid; while the frame is hidden the
        # ivory drawing area lies there, with at most a few digits on it.
        x, _, _, _ = self.rect('Label2')
        bx, by, bw, bh = self.rect('cmdIHozon')
        strip = (x, by, bx + bw - x, bh)
        return shot.share_of(strip, IVORY) < 0.2

    def wait_grid(self, timeout=20):
        wait_for(lambda: self.live() and self.grid_shown(self.display.screenshot()), timeout, 'the result grid')

    def drawing_started(self):
        return self.display.screenshot().share_of(self.rect('Picture1', inset=4), IVORY) < 1.0

    def save_results(self):
        self.click('cmdIHozon')
        self.answer('保存確認', 'Return')
        self.answer('保存終了', 'Return')
        return read_export(self.file(EXPORT_FILE))

    def quit(self, timeout=15):
        self.click('cmdEnd')
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=15):
        try:
            rc = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure('the program did not end within %gs of 終了' % timeout)
        check(rc == 0, 'the program ended with status %d' % rc)

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


def wait_file(path, expected, timeout=10):
    def matches():
        try:
            return open(path, 'rb').read() == expected
        except FileNotFoundError:
            return False
    try:
        wait_for(matches, timeout, os.path.basename(path))
    except Failure:
        seen = open(path, 'rb').read() if os.path.exists(path) else None
        raise Failure('%s holds %r, expected %r' % (os.path.basename(path), seen, expected))


def write_lists(workdir, selfs, partners):
    open(os.path.join(workdir, SELF_FILE), 'wb').write(list_bytes(selfs))
    open(os.path.join(workdir, PARTNER_FILE), 'wb').write(list_bytes(partners))


# --- journeys ---------------------------------------------------------------

def journey_names(ctx):
    """Names typed with Enter reach the files in code page 932 and come back
    after a restart."""
    work = ctx.workdir
    check(not os.path.exists(os.path.join(work, SELF_FILE)), 'working directory not fresh')
    k = ctx.start()
    empty = k.display.screenshot()
    empty_lists = (empty.region(k.rect('lstJibun')), empty.region(k.rect('lstAite')))

    # Enter in the self box moves on to the partner box, so each pair is typed in one go.
    for self_name, partner in zip(EXAMPLE_SELF, EXAMPLE_PARTNER):
        k.enter_text('txtNamae1', self_name)
        k.display.key('Return')
        k.display.key('ctrl+a', 'BackSpace')
        k.display.type(partner)
        k.display.key('Return')
    wait_file(k.file(SELF_FILE), list_bytes(EXAMPLE_SELF))
    wait_file(k.file(PARTNER_FILE), list_bytes(EXAMPLE_PARTNER))

    # Enter with a name the list already holds adds nothing. It leaves the
    # first self name in the box, as a restart shows it, and the focus (and
    # with it the cursor) in the partner box.
    k.enter_text('txtNamae1', EXAMPLE_SELF[0])
    k.display.key('Return')
    time.sleep(0.3)
    before = k.display.screenshot()
    wait_file(k.file(SELF_FILE), list_bytes(EXAMPLE_SELF))
    regions = ('lstJibun', 'lstAite', 'txtNamae1')
    shown = {r: before.region(k.rect(r)) for r in regions}
    check(shown['lstJibun'] != empty_lists[0] and shown['lstAite'] != empty_lists[1],
          'the lists look empty after adding names')
    k.quit()

    k = ctx.start()
    def restored():
        shot = k.display.screenshot()
        return all(shot.region(k.rect(r)) == shown[r] for r in regions)
    try:
        wait_for(restored, 5, 'the lists and the self box after the restart')
    except Failure:
        shot = k.display.screenshot()
        bad = [r for r in regions if shot.region(k.rect(r)) != shown[r]]
        raise Failure('after the restart these differ from before: %s' % ', '.join(bad))
    check(open(k.file(SELF_FILE), 'rb').read() == list_bytes(EXAMPLE_SELF), 'the self list file changed after a name it already held')
    k.quit()


FACE_SLOTS = ('imgwara(1)', 'imgwara(2)', 'imgwara(3)')


def journey_faces(ctx):
    """A single fortune in each mode: the result area is covered until the
    result is ready, then shows the faces of its band."""
    k = ctx.start()
    start = k.display.screenshot()
    area = k.rect('fraHide1')
    covered = start.region(area)

    def faces(shot):
        return [shot.region(k.rect(s)) for s in FACE_SLOTS]

    def uncovered():
        shot = k.display.screenshot()
        return shot if shot.region(area) != covered else None

    # Animated, the mode the program starts in, and from the keyboard alone:
    # Enter in the partner box moves on to 占う, and Enter there tells it.
    k.enter_text('txtNamae1', 'たろう')
    k.display.key('Tab')
    k.display.type('はなこ')
    k.display.key('Return', 'Return')
    wait_for(uncovered, 15, 'the result of たろう and はなこ')
    time.sleep(0.3)  # let the last paint land before judging the faces
    shot = k.display.screenshot()
    forty_two = faces(shot)
    # 42%: two smiling faces and a glum one.
    check(forty_two[0] == forty_two[1], '42%: slots 1 and 2 should show the same face')
    check(forty_two[1] != forty_two[2], '42%: slot 3 should show another face than slot 2')
    check(shot.share_of(k.rect('Picture1', inset=4), IVORY) < 1.0, 'no triangle drawn')

    # Quick mode: a refused pair covers the area again and clears the drawing.
    k.click('Option1(0)')
    k.enter_text('txtNamae1', 'x')
    k.click('cmdPlay')
    k.answer('文字確認', 'Return')
    wait_for(lambda: k.display.screenshot().region(area) == covered, 5, 'the cover after a refused pair')
    check(k.display.screenshot().share_of(k.rect('Picture1', inset=4), IVORY) == 1.0,
          'the drawing area is not empty after a refused pair')

    k.enter_text('txtNamae1', 'あえ')
    k.enter_text('txtNamae2', 'いいえ')
    k.click('cmdPlay')
    wait_for(uncovered, 10, 'the result of あえ and いいえ')
    time.sleep(0.3)
    hundred = faces(k.display.screenshot())
    # 100%: three laughing faces, none of them the faces of 42%.
    check(hundred[0] == hundred[1] == hundred[2], '100%: all slots should show the same face')
    check(hundred[0] != forty_two[0] and hundred[2] != forty_two[2], '100%: faces should differ from 42%')
    k.quit()


def journey_batch(ctx):
    """A quick batch over the example, saved, then sorted four ways."""
    write_lists(ctx.workdir, EXAMPLE_SELF, EXAMPLE_PARTNER)
    expected = open(os.path.join(ctx.expected, 'example.txt'), 'rb').read()
    k = ctx.start()
    k.click('Option1(0)')
    k.click('cmdHozon')
    k.wait_grid()
    check(k.no_box('モード確認'), 'the mode notice came up in the quick mode')
    # The header row right of the "％" column shows the grid's ivory.
    gx, gy, gw, _ = k.rect('msgList')
    columns = round((2000 + 2000 + 430) / 15)
    strip = (gx + columns + 4, gy + 4, gw - columns - 8, 8)
    check(k.display.screenshot().share_of(strip, IVORY) == 1.0, 'the header right of ％ is not ivory')
    rows = k.save_results()
    same_bytes(open(k.file(EXPORT_FILE), 'rb').read(), expected, EXPORT_FILE)

    sorts = {
        'cmdKza': (lambda r: r[2], True),
        'cmdKaz': (lambda r: r[2], False),
        'cmdNza': (lambda r: r[0], True),
        'cmdNaz': (lambda r: r[0], False),
    }
    for button, (key, descending) in sorts.items():
        k.click(button)
        got = k.save_results()
        check(sorted(got) == sorted(rows), '%s: rows changed, not just their order: %r' % (button, got))
        keys = [key(r) for r in got]
        check(keys == sorted(keys, reverse=descending), '%s: wrong order %r' % (button, keys))
    k.quit()


def journey_mode_switch(ctx):
    """An animated batch warns first; switching to the quick mode during the
    run lets the rest finish at once, with every row right."""
    write_lists(ctx.workdir, LONG_SELF, LONG_PARTNER)
    expected = open(os.path.join(ctx.expected, 'mode_switch.txt'), 'rb').read()
    k = ctx.start()
    k.click('cmdHozon')
    k.answer('モード確認', 'Return')
    wait_for(k.drawing_started, 15, 'the first fortune of the run')
    check(not k.grid_shown(k.display.screenshot()), 'the grid is shown while the run goes on')
    k.click('Option1(0)')
    # Animated, the run has 24 pairs at 0.8 s each still to go.
    k.wait_grid(timeout=10)
    k.save_results()
    same_bytes(open(k.file(EXPORT_FILE), 'rb').read(), expected, EXPORT_FILE)
    k.quit()


def journey_print(ctx):
    """A printout on a real queue of a private CUPS scheduler."""
    cups = Cups(ctx.workdir)
    ctx.cleanups.append(cups.close)
    write_lists(ctx.workdir, EXAMPLE_SELF, EXAMPLE_PARTNER)
    expected = read_export(os.path.join(ctx.expected, 'example.txt'))
    k = ctx.start(extra_env=cups.client_env)
    k.click('Option1(0)')
    k.click('cmdHozon')
    k.wait_grid()
    k.click('cmdIPrint')
    k.answer('印刷確認', 'Return')

    def printed():
        k.live()
        if k.display.windows('^プリンタ確認$'):
            raise Failure('the program could not print')
        return os.path.exists(cups.pdf) and os.path.getsize(cups.pdf) > 0 and cups.queue_empty()
    wait_for(printed, 60, 'the printed PDF', interval=0.3)
    text = subprocess.run(['pdftotext', '-layout', cups.pdf, '-'], check=True, capture_output=True,
                          text=True).stdout
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    got = []
    for line in lines:
        m = re.fullmatch(r'(\S+)-(\S+)\s+(\d+)%', line)
        check(m is not None, 'printed line not in the expected form: %r' % line)
        got.append((m.group(1), m.group(2), int(m.group(3))))
    check(got == expected, 'printed rows %r, expected %r' % (got, expected))
    k.quit()


def journey_delete(ctx):
    """Delete a name after OK, keep one after Cancel, clear a whole list."""
    write_lists(ctx.workdir, EXAMPLE_SELF, EXAMPLE_PARTNER)
    k = ctx.start()
    # The delete question opens on Cancel; Tab moves to OK.
    k.double_click_first_entry('lstJibun')
    k.answer('削除確認', 'Tab', 'Return')
    wait_file(k.file(SELF_FILE), list_bytes(EXAMPLE_SELF[1:]))

    k.double_click_first_entry('lstJibun')
    k.answer('削除確認', 'Return')
    time.sleep(0.5)
    check(open(k.file(SELF_FILE), 'rb').read() == list_bytes(EXAMPLE_SELF[1:]), 'Cancel deleted a name')

    k.click('lblAlist', count=2)
    k.answer('削除確認', 'Tab', 'Return')
    wait_file(k.file(PARTNER_FILE), b'')
    check(open(k.file(SELF_FILE), 'rb').read() == list_bytes(EXAMPLE_SELF[1:]),
          'clearing the partner list touched the self list')
    k.quit()

    # What the files say is what the window shows after a restart.
    k = ctx.start()
    shot = k.display.screenshot()
    check(shot.share_of(k.rect('lstAite', inset=3), IVORY) == 1.0, 'the cleared partner list is not empty')
    check(shot.share_of(k.rect('lstJibun', inset=3), IVORY) < 1.0, 'the self list lost its last name')
    k.quit()


def journey_exit_during_batch(ctx):
    """終了 in the middle of an animated batch ends the program cleanly."""
    write_lists(ctx.workdir, LONG_SELF, LONG_PARTNER)
    k = ctx.start()
    k.click('cmdHozon')
    k.answer('モード確認', 'Return')
    wait_for(k.drawing_started, 15, 'the first fortune of the run')
    k.quit()
    check(not os.path.exists(k.file(EXPORT_FILE)), 'an exit saved the results')


def no_temporary_files(workdir):
    left = [f for f in os.listdir(workdir) if '.txt.' in f]
    check(not left, 'temporary files left behind: %r' % left)


def journey_signals(ctx):
    """SIGTERM, SIGHUP and SIGINT end the program as 終了 does: status 0, the
    run unwound, saved files whole, no temporary file left."""
    write_lists(ctx.workdir, LONG_SELF, LONG_PARTNER)
    lists = {n: open(os.path.join(ctx.workdir, n), 'rb').read() for n in (SELF_FILE, PARTNER_FILE)}
    expected = open(os.path.join(ctx.expected, 'mode_switch.txt'), 'rb').read()

    # Logout or kill during an animated batch.
    k = ctx.start()
    k.click('cmdHozon')
    k.answer('モード確認', 'Return')
    wait_for(k.drawing_started, 15, 'the first fortune of the run')
    k.proc.send_signal(signal.SIGTERM)
    k.wait_exit()
    check(not os.path.exists(k.file(EXPORT_FILE)), 'SIGTERM saved the results')

    # The hang-up while the save's closing notice is open: the file stays whole.
    k = ctx.start()
    k.click('Option1(0)')
    k.click('cmdHozon')
    k.wait_grid()
    k.click('cmdIHozon')
    k.answer('保存確認', 'Return')
    wait_for(lambda: k.live() and k.display.windows('^保存終了$'), 15, 'the box 保存終了')
    k.proc.send_signal(signal.SIGHUP)
    k.wait_exit()
    same_bytes(open(k.file(EXPORT_FILE), 'rb').read(), expected, EXPORT_FILE)

    # Ctrl+C in the starting shell, idle.
    k = ctx.start()
    k.proc.send_signal(signal.SIGINT)
    k.wait_exit()
    for name, data in lists.items():
        same_bytes(open(k.file(name), 'rb').read(), data, name)
    no_temporary_files(ctx.workdir)

    # A self list that is one giant line (64 MB of NUL bytes): the window is
    # painted while it is read, and SIGTERM ends it at once, the file whole.
    giant = b'\0' * (64 << 20)
    with open(os.path.join(ctx.workdir, SELF_FILE), 'wb') as f:
        f.write(giant)
    k = ctx.start()
    k.proc.send_signal(signal.SIGTERM)
    k.wait_exit(timeout=5)
    check(os.path.getsize(k.file(SELF_FILE)) == len(giant), 'the giant list file changed')
    log = open(os.path.join(ctx.workdir, 'kanaroll.log'), 'rb').read()
    check(log.count(b'\n') < 10, 'the program flooded its output: %r' % log[:300])


def journey_file_size_limit(ctx):
    """Under a file-size limit a name that does not fit is not added and leaves
    no torn line, and results that do not fit are not saved; both are warned
    of and the program goes on."""
    write_lists(ctx.workdir, EXAMPLE_SELF, EXAMPLE_PARTNER)
    before = list_bytes(EXAMPLE_SELF)
    k = ctx.start(file_size_limit=len(before) + 4)  # あえ and its CR LF take 6 bytes
    k.enter_text('txtNamae1', 'あえ')
    k.display.key('Return')
    k.answer('ファイル確認', 'Return')
    same_bytes(open(k.file(SELF_FILE), 'rb').read(), before, SELF_FILE)

    k.click('Option1(0)')
    k.click('cmdHozon')
    k.wait_grid()
    k.click('cmdIHozon')
    k.answer('保存確認', 'Return')
    k.answer('保存先確認', 'Return')
    check(not os.path.exists(k.file(EXPORT_FILE)), 'a cut-short result file was left')
    no_temporary_files(ctx.workdir)
    k.quit()


def journey_two_windows(ctx):
    """Two windows on one folder: each adds names while the other deletes.
    Nothing is lost, and each window shows the file within a second."""
    ctx.screen = '1400x1000x24'
    names = ['たろう', 'さくら', 'はなこ', 'ゆうき']
    write_lists(ctx.workdir, names, [])
    a = ctx.start()
    b = ctx.start()
    a.move_to(0, 0)
    b.move_to(700, 0)

    def add(k, name):
        k.take_focus()
        k.enter_text('txtNamae1', name)
        k.display.key('Return')
        if name not in names:
            names.append(name)

    def delete_first(k):
        k.double_click_first_entry('lstJibun')
        k.answer('削除確認', 'Tab', 'Return')
        names.pop(0)

    # A window that missed the other's change would delete a name already
    # gone, and a window that wrote its own stale list would drop names.
    steps = [(add, a, 'あい'), (delete_first, b), (add, b, 'いえ'), (delete_first, a),
             (add, a, 'えい'), (delete_first, b), (add, b, 'あい')]
    for action, k, *name in steps:
        action(k, *name)
        wait_file(a.file(SELF_FILE), list_bytes(names))
        time.sleep(1)
    check(names == ['ゆうき', 'あい', 'いえ', 'えい'], 'the journey itself went wrong: %r' % names)

    # A third window reads the file afresh; the other two must show the same.
    c = ctx.start()
    c.move_to(0, 520)
    def same_lists():
        shot = a.display.screenshot()
        want = shot.region(c.rect('lstJibun'))
        return all(shot.region(k.rect('lstJibun')) == want for k in (a, b))
    try:
        wait_for(same_lists, 2, 'both lists to show the file')
    except Failure:
        raise Failure('a window does not show its list file')
    for k in (a, b, c):
        k.quit()


# --- the accessibility bus ----------------------------------------------------

AT_SPI_LAUNCHER = '/usr/libexec/at-spi-bus-launcher'


class AccessBus:
    """A private session bus and accessibility bus, read as a screen reader
    reads them (pyatspi)."""

    def __init__(self, display):
        for tool in ('dbus-daemon', 'xsel'):
            if shutil.which(tool) is None:
                raise Skip('%s is not installed' % tool)
        if not os.access(AT_SPI_LAUNCHER, os.X_OK):
            raise Skip('at-spi2-core is not installed')
        self.procs = []
        daemon = subprocess.Popen(['dbus-daemon', '--session', '--nofork', '--print-address=1'],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=display.env,
                                  start_new_session=True)
        self.procs.append(daemon)
        address = daemon.stdout.readline().decode().strip()
        check(address, 'dbus-daemon gave no address')
        self.env = dict(display.env, DBUS_SESSION_BUS_ADDRESS=address)
        self.procs.append(subprocess.Popen([AT_SPI_LAUNCHER, '--launch-immediately'], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                           start_new_session=True))
        # pyatspi finds the buses through the environment when it is first used.
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=address, DISPLAY=display.env['DISPLAY'])
        import pyatspi
        from gi.repository import Atspi
        self.at = pyatspi
        self.Atspi = Atspi
        self.app = None

    def find_app(self):
        def found():
            for app in self.at.Registry.getDesktop(0):
                if app is not None and app.name == 'Kanaroll' and app.childCount > 0:
                    return app
            return None
        self.app = wait_for(found, 20, 'the program on the accessibility bus', interval=0.3)
        # States change under a cover without events: read them afresh.
        self.app.set_cache_mask(self.Atspi.Cache.NONE)

    def walk(self, obj=None, into_tables=False):
        obj = obj or self.app
        yield obj
        if not into_tables and (self.is_role(obj, 'table') or self.is_role(obj, 'list')):
            return
        for i in range(obj.childCount):
            c = obj.getChildAtIndex(i)
            if c is not None:
                yield from self.walk(c, into_tables)

    def showing(self, obj):
        return obj.getState().contains(self.at.STATE_SHOWING)

    # Roles by their constants: newer AT-SPI releases print some role names
    # differently ("button" for "push button").
    def is_role(self, obj, role):
        return obj.getRole() == getattr(self.at, 'ROLE_' + role.upper().replace(' ', '_'))

    def find(self, name, role):
        for o in self.walk():
            if o.name == name and self.is_role(o, role):
                return o
        raise Failure('no %s named %r on the bus' % (role, name))

    def focused(self):
        # A list's or table's current item says focused even after the focus
        # has moved on: a control that says so decides.
        items = []
        for o in self.walk(into_tables=True):
            if o.getState().contains(self.at.STATE_FOCUSED):
                if not (self.is_role(o, 'list item') or self.is_role(o, 'table cell')):
                    return o.name
                items.append(o.parent.name)
        return items[0] if items else None

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGTERM)
                p.wait()


# What the bus must show: name, role, showing.
EXPOSED_AT_START = [
    ('自分', 'label', True), ('自分', 'text', True), ('相手', 'label', True), ('相手', 'text', True),
    ('自分リスト', 'label', True), ('自分リスト', 'list', True),
    ('相手リスト', 'label', True), ('相手リスト', 'list', True),
    ('入れ替え', 'push button', True), ('さくさくモード', 'radio button', True),
    ('わくわくモード', 'radio button', True), ('占う', 'push button', True), ('一括', 'push button', True),
    ('ヘルプ', 'push button', True), ('終了', 'push button', True),
    ('占いの図', 'label', True), ('二人の相性は…', 'panel', True),
    ('100%', 'label', False),  # the design caption under the banner
    ('結果一覧', 'table', False), ('名前で昇順', 'push button', False), ('名前で降順', 'push button', False),
    ('相性度の低い順', 'push button', False), ('相性度の高い順', 'push button', False),
    ('印刷', 'push button', False), ('保存', 'push button', False),
]
EXPOSED_AFTER_FORTUNE = [
    ('42%', 'label', True), ('二人の相性は…', 'panel', False), ('占いの図', 'label', True),
    ('たろう _ はなこ', 'label', True),
]
EXPOSED_UNDER_GRID = [
    ('結果一覧', 'table', True), ('名前で昇順', 'push button', True), ('名前で降順', 'push button', True),
    ('相性度の低い順', 'push button', True), ('相性度の高い順', 'push button', True),
    ('印刷', 'push button', True), ('保存', 'push button', True), ('占いの図', 'label', False),
]
# Tab from the self box; the grid and its buttons only while they are shown.
TAB_PATH = ['相手', '占う', '一括', 'ヘルプ', '終了', '相手リスト', 'さくさくモード', '入れ替え', '自分リスト']
TAB_PATH_GRID = ['結果一覧', '印刷', '保存', '名前で昇順', '名前で降順', '相性度の低い順', '相性度の高い順']
TAB_PATH_END = ['占いの図', '自分']


def journey_screen_reader(ctx):
    """What a screen reader finds on the accessibility bus, the Tab path, and
    the X clipboard: a pasted line break, grid rows copied, the fortune saved
    as a picture."""
    write_lists(ctx.workdir, ['たろう', 'さくら'], ['ゆうき'])
    ctx.display = Display(ctx.root, ctx.screen)
    ctx.cleanups.append(ctx.display.close)
    bus = AccessBus(ctx.display)
    ctx.cleanups.append(bus.close)
    k = ctx.start(extra_env={'DBUS_SESSION_BUS_ADDRESS': bus.env['DBUS_SESSION_BUS_ADDRESS'],
                             'QT_LINUX_ACCESSIBILITY_ALWAYS_ON': '1'})
    bus.find_app()

    def expect(table, when):
        for name, role, shown in table:
            obj = bus.find(name, role)
            check(bus.showing(obj) == shown, '%s: %s %r is %sshowing' % (when, role, name, '' if not shown else 'not '))

    expect(EXPOSED_AT_START, 'at start')
    every = list(bus.walk())
    unnamed = ['%s' % o.getRoleName() for o in every[2:] if bus.showing(o) and not o.name]
    check(not unnamed, 'showing controls without a name: %r' % unnamed)
    check([o.name for o in every if bus.is_role(o, 'image') and bus.showing(o)] == [],
          'a face shows under the banner')
    check(len([o for o in every if bus.is_role(o, 'image')]) == 9, 'pictures besides the nine faces are in the tree')
    box = bus.find('自分', 'text')
    labels = [r.getTarget(i).name for r in box.getRelationSet()
              if r.getRelationType() == bus.at.RELATION_LABELLED_BY for i in range(r.getNTargets())]
    check(labels == ['自分'], 'the self box is labelled by %r' % labels)

    # A name pasted with its line break arrives without it.
    subprocess.run(['xsel', '-b', '-i'], input='はなこ\n'.encode(), env=ctx.display.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    k.click('txtNamae2')
    k.display.key('ctrl+a', 'BackSpace', 'ctrl+v', 'Return')
    wait_file(k.file(PARTNER_FILE), list_bytes(['ゆうき', 'はなこ']))

    # The fortune: the result heard once the banner goes, the faces by their
    # meaning, the drawing as text.
    k.click('Option1(0)')
    k.click('cmdPlay')
    wait_for(lambda: bus.showing(bus.find('42%', 'label')), 10, 'the result on the bus')
    expect(EXPOSED_AFTER_FORTUNE, 'after the fortune')
    faces = [o.name for o in bus.walk() if bus.is_role(o, 'image') and bus.showing(o)]
    check(faces == ['にっこり', 'にっこり', 'しょんぼり'], 'the faces read %r' % faces)
    drawing = bus.find('占いの図', 'label').queryText()
    text = drawing.getText(0, drawing.characterCount)
    check(text == 'たろう _ はなこ\n153115\n68426\n4268\n684\n42\n42%', 'the drawing reads %r' % text)

    # Saved as a picture through the menu on the drawing and the file dialog.
    x, y = k.point('Picture1')
    k.display.run('xdotool', 'mousemove', str(x), str(y), 'click', '3')
    time.sleep(0.5)  # a popup menu is not in the tree; a screen reader hears it by its focus
    k.display.key('Down', 'Down', 'Return')
    wait_for(lambda: k.display.windows('^画像を保存$'), 10, 'the file dialog')
    time.sleep(0.5)
    k.display.key('Return')
    png = k.file('たろうとはなこ.png')
    wait_for(lambda: os.path.exists(png), 10, 'the saved picture')
    head = open(png, 'rb').read(24)
    right, result = k.places['fraIchiran']['rect'], k.places['fraHide1']['rect']
    size = (int.from_bytes(head[16:20], 'big'), int.from_bytes(head[20:24], 'big'))
    check(head.startswith(b'\x89PNG') and size == (max(right[2], result[2]), right[3] + result[3]),
          'the saved picture is %r' % (size,))

    # The Tab path, forwards and back, before and after a batch.
    def walk_tab(path):
        for keys, names in (('Tab', path), ('shift+Tab', list(reversed(path[:-1])) + ['自分'])):
            at = '自分'
            for name in names:
                k.display.key(keys)
                try:
                    wait_for(lambda: bus.focused() == name, 3, '')
                except Failure:
                    # Under load a key now and then goes astray; pressed
                    # again, it must go where it should.
                    check(bus.focused() == at, '%s from %s went to %s, not %s' % (keys, at, bus.focused(), name))
                    k.display.key(keys)
                    wait_for(lambda: bus.focused() == name, 5, '%s to reach %s (at %s)' % (keys, name, bus.focused()))
                at = name

    k.take_focus()  # a closed dialog leaves no window with the input focus
    k.click('txtNamae1')
    walk_tab(TAB_PATH + TAB_PATH_END)
    k.click('cmdHozon')
    k.wait_grid()
    expect(EXPOSED_UNDER_GRID, 'under the grid')
    k.click('txtNamae1')
    walk_tab(TAB_PATH + TAB_PATH_GRID + TAB_PATH_END)

    # Rows picked with click and Shift+click go to the clipboard as
    # tab-separated lines.
    table = bus.find('結果一覧', 'table').queryTable()
    def cell_centre(row):
        e = table.getAccessibleAt(row, 0).queryComponent().getExtents(bus.at.DESKTOP_COORDS)
        return e.x + e.width // 2, e.y + e.height // 2
    k.click_at(*cell_centre(0))
    k.display.run('xdotool', 'keydown', 'shift')
    k.click_at(*cell_centre(2))
    k.display.run('xdotool', 'keyup', 'shift')
    k.display.key('ctrl+c')
    rows = k.save_results()
    want = ''.join('%s\t%s\t%d\n' % r for r in rows[:3])
    copied = lambda: k.display.run('xsel', '-b', '-o', check_rc=False).stdout
    wait_for(lambda: copied() == want, 5, 'the copied rows %r (clipboard holds %r)' % (want, copied()))
    k.quit()


# --- a real screen reader -----------------------------------------------------

ORCA_USER = ('kanaroll-orca', 64101)  # fixed, so that runs share one user


def ordinary_user():
    """(uid, gid) of an ordinary user to run a desktop session as, or None
    when the journey does not run as root (it does in CI), since a desktop
    session is an ordinary user's."""
    if os.geteuid() != 0:
        return None
    import pwd
    name, uid = ORCA_USER
    for attempt in range(2):
        try:
            pw = pwd.getpwnam(name)
            return pw.pw_uid, pw.pw_gid
        except KeyError:
            pass
        # Two journeys may create it at once: one of them wins.
        subprocess.run(['useradd', '--system', '--no-create-home', '--home-dir', '/nonexistent',
                        '--shell', '/usr/sbin/nologin', '--uid', str(uid), '--user-group', name],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pw = pwd.getpwnam('nobody')
    return pw.pw_uid, pw.pw_gid


class Session:
    """A desktop session of its own for an ordinary user: a session bus, the
    accessibility bus, speech-dispatcher with espeak-ng on a null sound
    device, and Orca writing what it says into its debug file."""

    ORCA_DEBUG = 'orca-debug.out'

    def __init__(self, ctx):
        for tool in ('orca', 'speech-dispatcher', 'dbus-daemon'):
            if shutil.which(tool) is None:
                raise Skip('%s is not installed' % tool)
        if not os.access(AT_SPI_LAUNCHER, os.X_OK):
            raise Skip('at-spi2-core is not installed')
        if not os.path.exists('/etc/speech-dispatcher/modules/espeak-ng.conf'):
            raise Skip('speech-dispatcher-espeak-ng is not installed')
        self.user = ordinary_user()
        self.home = os.path.join(ctx.root, 'home')
        runtime = os.path.join(self.home, 'runtime')
        speechd = os.path.join(self.home, 'speechd')
        os.makedirs(runtime, mode=0o700)
        shutil.copytree('/etc/speech-dispatcher', speechd)
        with open(os.path.join(speechd, 'speechd.conf'), 'a') as conf:
            conf.write('\nAudioOutputMethod "alsa"\nAddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"\n'
                       'DefaultModule espeak-ng\nDefaultLanguage "ja"\n')
        with open(os.path.join(self.home, '.asoundrc'), 'w') as f:
            f.write('pcm.!default { type null }\n')
        if self.user:
            for top, dirs, files in os.walk(ctx.root):
                for n in [top] + [os.path.join(top, f) for f in dirs + files]:
                    os.chown(n, *self.user)
        socket = os.path.join(runtime, 'speechd.sock')
        self.env = dict(ctx.display.env, HOME=self.home, XDG_RUNTIME_DIR=runtime,
                        XDG_CONFIG_HOME=os.path.join(self.home, 'config'),
                        XDG_DATA_HOME=os.path.join(self.home, 'data'),
                        XDG_CACHE_HOME=os.path.join(self.home, 'cache'),
                        GSETTINGS_BACKEND='memory', SPEECHD_ADDRESS='unix_socket:' + socket,
                        LANG='C.UTF-8')
        self.procs = []
        daemon = self.spawn('dbus-daemon', '--session', '--nofork', '--print-address=1', stdout=subprocess.PIPE)
        self.env['DBUS_SESSION_BUS_ADDRESS'] = daemon.stdout.readline().decode().strip()
        check(self.env['DBUS_SESSION_BUS_ADDRESS'], 'dbus-daemon gave no address')
        self.spawn(AT_SPI_LAUNCHER, '--launch-immediately')
        self.spawn('speech-dispatcher', '--run-single', '--timeout', '0', '--config-dir', speechd,
                   '--communication-method', 'unix_socket', '--socket-path', socket, '--log-dir', self.home)
        wait_for(lambda: os.path.exists(socket), 15, 'speech-dispatcher')
        # Orca writes its debug file through a buffer that fills only with more
        # events; a terminal as the file makes it write line by line.
        import threading
        import tty
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        terminal = os.ttyname(self.slave)
        if self.user:
            os.chown(terminal, *self.user)
        self.debug = os.path.join(self.home, self.ORCA_DEBUG)  # kept for inspection
        self.output = bytearray()
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self.read_debug, daemon=True)
        self.reader.start()
        self.spawn('orca', '--replace', '--debug-file', terminal)
        # Orca says it is on once it listens.
        wait_for(lambda: self.said(0), 30, 'Orca to start speaking', interval=0.3)

    def spawn(self, *args, stdout=subprocess.DEVNULL):
        as_user = {'user': self.user[0], 'group': self.user[1], 'extra_groups': []} if self.user else {}
        p = subprocess.Popen(list(args), env=self.env, cwd=self.home, stdout=stdout, stderr=subprocess.DEVNULL,
                             start_new_session=True, **as_user)
        self.procs.append(p)
        return p

    def read_debug(self):
        with open(self.debug, 'wb') as copy:
            while True:
                try:
                    chunk = os.read(self.master, 65536)
                except OSError:
                    return
                if not chunk:
                    return
                copy.write(chunk)
                with self.lock:
                    self.output += chunk

    def mark(self):
        """Where Orca's output stands now."""
        with self.lock:
            return len(self.output)

    def logged(self, since):
        with self.lock:
            return self.output[since:].decode('utf-8', errors='replace')

    def said(self, since=0):
        """What Orca has spoken since a mark, one utterance a line."""
        text = self.logged(since)
        # 'text', and after it the voice where Orca gives it: 'text' {...}
        said = []
        for line in text.splitlines():
            _, found, rest = line.partition("SPEECH OUTPUT: '")
            if found:
                voiced = re.fullmatch(r"(.*)' ?\{.*\}\s*", rest)
                said.append(voiced.group(1) if voiced else rest.rstrip().removesuffix("'"))
        return said

    def wait_said(self, since, want, what, timeout=15):
        """Waits until an utterance holds want; returns what was said since."""
        try:
            wait_for(lambda: any(want in u for u in self.said(since)), timeout, '')
        except Failure:
            raise Failure('Orca did not say %r %s; it said %r' % (want, what, self.said(since)))
        return self.said(since)

    def wait_focus(self, since, name, timeout=15):
        """Waits until Orca has heard that the control named name took the
        focus. Orca may leave it unspoken when it lags behind the keys."""
        # Orca 43 logs the control as [push button | name], Orca 48 as
        # [button: 'name']; (1, ...) is the focus gained, not lost.
        n = re.escape(name)
        gained = re.compile(r"focused for \[[\w ]+(?: \| %s|: '%s')\].*\(1," % (n, n))
        wait_for(lambda: gained.search(self.logged(since)), timeout, 'Orca to hear the focus on ' + name)

    def close(self):
        for p in reversed(self.procs):
            stop_group(p)
        os.close(self.slave)
        self.reader.join(5)
        os.close(self.master)


def journey_orca(ctx):
    """Orca itself speaks the result of a fortune told from the keyboard and
    the end of a batch, animated and quick, wherever the focus is."""
    write_lists(ctx.workdir, ['たろう'], ['はなこ'])
    ctx.display = Display(ctx.root, ctx.screen)
    ctx.cleanups.append(ctx.display.close)
    session = Session(ctx)
    ctx.cleanups.append(session.close)
    # Orca has told the bus a screen reader runs; the program sees it as it starts.
    env = {key: session.env[key] for key in ('HOME', 'XDG_RUNTIME_DIR', 'DBUS_SESSION_BUS_ADDRESS')}
    # Qt 6.4's accessibility bridge copies each key for the screen reader and
    # never frees the copies still waiting for its answer when the program
    # ends. That is the toolkit's leak; every other journey still looks for ours.
    if 'ASAN_OPTIONS' in os.environ:
        env['ASAN_OPTIONS'] = os.environ['ASAN_OPTIONS'] + ':detect_leaks=0'
    k = ctx.start(extra_env=env, user=session.user)
    k.take_focus()
    k.click('txtNamae2')
    k.display.type('はなこ')
    # The self box holds たろう; Tab goes on to 占う.
    def press(button):
        seen = session.mark()
        k.display.key('Tab')
        session.wait_focus(seen, button)
        k.display.key('space')
    seen = session.mark()
    press('占う')
    said = session.wait_said(seen, '42%、にっこり、にっこり、しょんぼり', 'after 占う')
    print('after 占う: %r' % said)

    # The batch: its end and its rows, not the fortune of every pair.
    def batch(start, notice):
        seen = session.mark()
        start()
        if notice:
            k.answer('モード確認', 'Return')
        said = session.wait_said(seen, '一括の結果、2件', 'after the batch')
        check(not [u for u in said if '%、' in u], 'the pairs of the batch were spoken: %r' % said)
        return said
    print('after an animated 一括: %r' % batch(lambda: press('一括'), True))
    k.click('Option1(0)')
    print('after a quick 一括: %r' % batch(lambda: k.click('cmdHozon'), False))
    k.quit()


IBUS_MOZC = '/usr/lib/ibus-mozc/ibus-engine-mozc'


def journey_input_method(ctx):
    """Names through a real input method (ibus with mozc): a word committed
    with Enter is not added yet, and text committed in a list searches it."""
    if shutil.which('ibus-daemon') is None or shutil.which('ibus') is None or not os.path.exists(IBUS_MOZC):
        raise Skip('ibus with mozc is not installed')
    if shutil.which('dbus-daemon') is None:
        raise Skip('dbus-daemon is not installed')
    write_lists(ctx.workdir, ['たろう', 'さぶろう', 'しろう'], [])
    # Input methods refuse to serve root: everything runs as an ordinary user.
    user = None
    pw = None
    if os.geteuid() == 0:
        user = 'nobody'
        import pwd
        pw = pwd.getpwnam(user)
        for top, dirs, files in os.walk(ctx.root):
            for n in [top] + [os.path.join(top, f) for f in dirs + files]:
                os.chown(n, pw.pw_uid, pw.pw_gid)
    as_user = {'user': user, 'group': pw.pw_gid, 'extra_groups': []} if user else {}
    home = os.path.join(ctx.root, 'home')
    ctx.display = Display(ctx.root, ctx.screen)
    ctx.cleanups.append(ctx.display.close)
    env = dict(ctx.display.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, 'config'),
               XDG_RUNTIME_DIR=os.path.join(home, 'runtime'))
    procs = []
    ctx.cleanups.append(lambda: [stop_group(p) for p in reversed(procs)])
    def spawn(*args, **kw):
        p = subprocess.Popen(list(args), env=env, start_new_session=True, stderr=subprocess.DEVNULL, **as_user, **kw)
        procs.append(p)
        return p
    subprocess.run(['mkdir', '-p', '-m', '700', env['XDG_CONFIG_HOME'], env['XDG_RUNTIME_DIR']], check=True, **as_user)
    daemon = spawn('dbus-daemon', '--session', '--nofork', '--print-address=1', stdout=subprocess.PIPE)
    env['DBUS_SESSION_BUS_ADDRESS'] = daemon.stdout.readline().decode().strip()
    spawn('ibus-daemon', '--panel=disable', '--xim', '--replace', stdout=subprocess.DEVNULL)
    def engine():
        ibus = lambda *args: subprocess.run(['ibus', 'engine', *args], env=env, capture_output=True, text=True,
                                            **as_user).stdout.strip()
        ibus('mozc-jp')
        return ibus() == 'mozc-jp'
    wait_for(engine, 20, 'ibus to take the mozc engine', interval=0.5)
    k = ctx.start(extra_env={key: env[key] for key in ('HOME', 'XDG_CONFIG_HOME', 'XDG_RUNTIME_DIR',
                                                      'DBUS_SESSION_BUS_ADDRESS')} | {'QT_IM_MODULE': 'ibus'},
                  user=(user, pw.pw_gid) if user else None)
    k.take_focus()

    # はなこ through the input method: the Enter that commits the word adds nothing.
    k.click('txtNamae2')
    k.display.key('Zenkaku_Hankaku')  # mozc: hiragana
    time.sleep(0.3)
    k.display.type('hanako')
    k.display.key('Return')
    time.sleep(0.5)
    check(open(k.file(PARTNER_FILE), 'rb').read() == b'', 'the Enter that committed the word added the name')
    k.display.key('Return')
    wait_file(k.file(PARTNER_FILE), list_bytes(['はなこ']))
    # "sa" and Enter in the self list jump to さぶろう and pick it.
    x, y, w, h = k.rect('lstJibun')
    k.click_at(x + w // 2, y + h - 6)  # below the last entry: focus, no pick
    k.display.type('sa')
    k.display.key('Return')
    # The picked self name, swapped into the partner box, is added there.
    k.click('cmdKoukan')
    k.click('txtNamae2')
    k.display.key('Return')
    wait_file(k.file(PARTNER_FILE), list_bytes(['はなこ', 'さぶろう']))
    k.quit()


JOURNEYS = {
    'names': journey_names,
    'faces': journey_faces,
    'batch': journey_batch,
    'mode_switch': journey_mode_switch,
    'print': journey_print,
    'delete': journey_delete,
    'exit_during_batch': journey_exit_during_batch,
    'signals': journey_signals,
    'file_size_limit': journey_file_size_limit,
    'two_windows': journey_two_windows,
    'screen_reader': journey_screen_reader,
    'input_method': journey_input_method,
    'orca': journey_orca,
}


# --- a private print scheduler ----------------------------------------------

class Cups:
    """cupsd on its own socket and folders with one file:// PDF queue as the
    default printer, so neither the system's printers nor other tests' queues
    are touched."""

    PPDS = (('-m', 'lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd'),
            ('-P', '/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd'))

    def __init__(self, workdir):
        cupsd = shutil.which('cupsd') or next((p for p in ('/usr/sbin/cupsd', '/sbin/cupsd') if os.path.exists(p)),
                                              None)
        for tool in ('lpadmin', 'lpstat', 'pdftotext'):
            if shutil.which(tool) is None:
                raise Skip('%s is not installed' % tool)
        if cupsd is None:
            raise Skip('cupsd is not installed')
        # Filters run as the scheduler's own user: the folders must be open to it,
        # and the socket path short.
        self.dir = tempfile.mkdtemp(prefix='kanaroll-cups-', dir='/tmp')
        os.chmod(self.dir, 0o755)
        for sub in ('spool', 'cache', 'state', 'tmp', 'log', 'out'):
            os.mkdir(os.path.join(self.dir, sub))
        os.chmod(os.path.join(self.dir, 'tmp'), 0o1777)
        os.chmod(os.path.join(self.dir, 'out'), 0o777)
        self.socket = os.path.join(self.dir, 'cups.sock')
        self.pdf = os.path.join(self.dir, 'out', 'out.pdf')
        conf = os.path.join(self.dir, 'cupsd.conf')
        with open(conf, 'w') as f:
            f.write('LogLevel warn\nListen %s\nBrowsing No\nWebInterface No\nDefaultAuthType Basic\n'
                    '<Location />\n  Order allow,deny\n  Allow all\n</Location>\n'
                    '<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n' % self.socket)
        files = os.path.join(self.dir, 'cups-files.conf')
        d = self.dir
        with open(files, 'w') as f:
            f.write('FileDevice Yes\nSystemGroup root\nServerRoot {d}\nRequestRoot {d}/spool\n'
                    'CacheDir {d}/cache\nStateDir {d}/state\nTempDir {d}/tmp\nErrorLog {d}/log/error_log\n'
                    'AccessLog {d}/log/access_log\nPageLog {d}/log/page_log\n'.format(d=d))
        # A home of its own, so that no lpoptions of the user names another default.
        home = os.path.join(self.dir, 'home')
        os.mkdir(home)
        self.client_env = {'CUPS_SERVER': self.socket, 'HOME': home}
        self.env = dict(os.environ, **self.client_env)
        self.proc = subprocess.Popen([cupsd, '-f', '-c', conf, '-s', files], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        try:
            wait_for(lambda: self.alive() and 'is running' in self.tool('lpstat', '-r').stdout, 15,
                     'cupsd to answer')
        except Failure:
            raise Failure('cupsd did not start: ' + self.error_log())
        for flag, ppd in self.PPDS:
            add = self.tool('lpadmin', '-p', 'K', '-v', 'file://' + self.pdf, flag, ppd, '-E')
            if add.returncode == 0:
                break
        else:
            raise Failure('lpadmin could not add the queue: ' + add.stderr + add.stdout)
        check(self.tool('lpadmin', '-d', 'K').returncode == 0, 'lpadmin could not make the queue the default')

    def alive(self):
        if self.proc.poll() is not None:
            raise Failure('cupsd ended: ' + self.error_log())
        return True

    def tool(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True)

    def queue_empty(self):
        return self.tool('lpstat', '-o').stdout.strip() == ''

    def error_log(self):
        try:
            return open(os.path.join(self.dir, 'log', 'error_log'), errors='replace').read()[-800:]
        except OSError:
            return ''

    def close(self):
        stop_process(self.proc)
        shutil.rmtree(self.dir, ignore_errors=True)


# --- running one journey ----------------------------------------------------

class Context:
    def __init__(self, args, workdir):
        self.app = args.app
        self.expected = args.expected
        self.places = load_places(args.places)
        self.workdir = workdir
        self.root = os.path.dirname(workdir)  # scratch files of the journey itself
        self.cleanups = []
        self.display = None
        self.screen = '1024x768x24'
        self.programs = []

    def start(self, extra_env=None, file_size_limit=None, user=None):
        if self.display is None:
            self.display = Display(self.root, self.screen)
            self.cleanups.append(self.display.close)
        others = [k.window for k in self.programs if k.proc.poll() is None]
        k = Kanaroll(self.display, self.app, self.places, self.workdir, extra_env, file_size_limit, others, user)
        self.programs.append(k)
        return k

    def close(self):
        for k in self.programs:
            k.close()
        for c in reversed(self.cleanups):
            c()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--places', required=True)
    parser.add_argument('--expected', required=True)
    parser.add_argument('journey', choices=sorted(JOURNEYS))
    args = parser.parse_args()
    args.app = os.path.abspath(args.app)
    if args.journey == 'screen_reader':
        # pyatspi comes with the system's Python, which may not be first on PATH.
        try:
            import pyatspi  # noqa: F401
        except ImportError:
            system = '/usr/bin/python3'
            if os.path.exists(system) and os.path.realpath(sys.executable) != os.path.realpath(system):
                os.execv(system, [system] + sys.argv)
            print('SKIP: pyatspi is not installed')
            return SKIP

    root = tempfile.mkdtemp(prefix='kanaroll-accept-%s-' % args.journey)
    work = os.path.join(root, 'work')
    os.mkdir(work)
    ctx = Context(args, work)
    status = 1
    try:
        JOURNEYS[args.journey](ctx)
        status = 0
    except Skip as e:
        print('SKIP: %s' % e)
        status = SKIP
    except Failure as e:
        print('FAIL (%s): %s' % (args.journey, e))
        if ctx.display is not None:
            try:
                shutil.copy(ctx.display.screenshot().path, os.path.join(root, 'failure.png'))
            except Exception:
                pass
    finally:
        ctx.close()
    if status == 1:
        print('left for inspection: %s' % root)
        for k in ctx.programs:
            log = open(k.log.name, errors='replace').read().strip()
            if log:
                print('program output:\n' + log[-2000:])
    else:
        shutil.rmtree(root, ignore_errors=True)
    return status


if __name__ == '__main__':
    sys.exit(main())
