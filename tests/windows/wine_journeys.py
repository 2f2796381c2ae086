#!/usr/bin/env python3
"""The cross-built kanaroll.exe under Wine, driven as the Linux journeys drive
the Linux window, and judged against the Linux build in the same run.

    wine_journeys.py --exe KANAROLL.EXE --setup SETUP.EXE --linux-app KANAROLL
                     --places PLACES [JOURNEY ...]

The Wine environment (WINEPREFIX, WINEARCH, HOME) comes from the caller;
`wine` names the loader. Each journey prints PASS, FAIL or SKIP with the
reason; the exit status is 1 when one failed.
"""

import argparse
import ctypes
import ctypes.util
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'acceptance'))
import journeys as J  # noqa: E402

HELP_TITLE = 'Kanaroll ヘルプ'  # the help file's own title, which the viewer shows
# Room for the help viewer beside the main window.
SCREEN = '1600x1200x24'
UNINSTALL_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kanaroll'
KANA = 'あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわん'


def random_names(count, seed):
    """Distinct kana names of three to six characters, the same for a seed."""
    rng = random.Random(seed)
    names, seen = [], set()
    while len(names) < count:
        n = ''.join(rng.choice(KANA) for _ in range(rng.randint(3, 6)))
        if n not in seen:
            seen.add(n)
            names.append(n)
    return names


class Grabber:
    """Pixels of a small rectangle straight from the X server: a few
    milliseconds, where a whole-screen screenshot through ImageMagick takes a
    few hundred, so a timed wait sees the change when it happens."""

    class XImage(ctypes.Structure):
        _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                    ('format', ctypes.c_int), ('data', ctypes.POINTER(ctypes.c_ubyte)),
                    ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                    ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                    ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]

    def __init__(self, display_name):
        path = ctypes.util.find_library('X11')
        if path is None:
            raise J.Skip('libX11 is not there for the timed wait')
        x = self.x = ctypes.CDLL(path)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(self.XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(self.XImage)]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = x.XOpenDisplay(display_name.encode())
        if not self.dpy:
            raise J.Failure('cannot open %s for the timed wait' % display_name)
        self.root = x.XDefaultRootWindow(self.dpy)

    def pixels(self, rect):
        """The rectangle's rows as the server holds them (BGRX) and its stride."""
        x, y, w, h = rect
        image = self.x.XGetImage(self.dpy, self.root, x, y, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        J.check(bool(image) and image.contents.bits_per_pixel == 32, 'the timed wait needs a 24-bit screen')
        img = image.contents
        data = ctypes.string_at(img.data, img.bytes_per_line * h)
        stride = img.bytes_per_line
        self.x.XDestroyImage(image)
        return data, stride

    def share_of(self, rect, colour):
        _, _, w, h = rect
        data, stride = self.pixels(rect)
        want = bytes((colour[2], colour[1], colour[0]))  # BGRX in memory
        hits = sum(1 for row in range(h) for col in range(w)
                   if data[row * stride + 4 * col:row * stride + 4 * col + 3] == want)
        return hits / (w * h)

    def close(self):
        self.x.XCloseDisplay(self.dpy)


class Wine:
    """The loader, the prefix and the paths inside it."""

    def __init__(self):
        self.loader = os.environ.get('WINE') or shutil.which('wine64') or '/usr/lib/wine/wine64'
        self.prefix = os.environ['WINEPREFIX']
        self.env = {k: os.environ[k] for k in ('WINEPREFIX', 'WINEARCH', 'HOME', 'WINEDEBUG') if k in os.environ}
        # The prefix was made without a window manager's help; keep Wine's
        # own first-run dialogs (mono, gecko) out of the journeys.
        self.env.setdefault('WINEDLLOVERRIDES', 'mscoree=')
        # A Japanese Windows, as the program's users have: system code page
        # 932, which the help viewer decodes the help file's title with. Wine
        # takes it from a Unix locale that Debian does not install by default,
        # so one is compiled beside the prefix; without it file names outside
        # ASCII would not reach the disk.
        self.help_title = HELP_TITLE
        locales = os.path.join(self.prefix, 'kanaroll-locale')
        if not os.path.isdir(os.path.join(locales, 'ja_JP.UTF-8')):
            os.makedirs(locales, exist_ok=True)
            subprocess.run(['localedef', '-i', 'ja_JP', '-f', 'UTF-8', os.path.join(locales, 'ja_JP.UTF-8')],
                           capture_output=True)
        if os.path.isdir(os.path.join(locales, 'ja_JP.UTF-8')):
            self.env.update(LOCPATH=locales, LC_ALL='ja_JP.UTF-8')
        else:
            print('  no ja_JP locale (localedef failed): Wine runs with code page 1252')
            self.env.update(LC_ALL='C.UTF-8')
            self.help_title = HELP_TITLE.encode('cp932').decode('cp1252', errors='replace')
        self.user = os.environ.get('USER') or 'root'

    def wrapper(self, folder, *args):
        """A start script for the journeys' program class, which runs one file."""
        path = os.path.join(folder, 'wine-kanaroll-%d.sh' % len(os.listdir(folder)))
        with open(path, 'w') as f:
            f.write('#!/bin/sh\nexec %s\n' % ' '.join(shquote(a) for a in (self.loader,) + args))
        os.chmod(path, 0o755)
        return path

    def run(self, display, *args, timeout=120):
        env = dict(display.env, **self.env)
        return subprocess.run((self.loader,) + args, env=env, capture_output=True, timeout=timeout)

    def c_drive_path(self, *parts):
        return os.path.join(self.prefix, 'drive_c', *parts)

    def user_folder(self, *parts):
        return self.c_drive_path('users', self.user, *parts)


def shquote(s):
    return "'" + s.replace("'", "'\\''") + "'"


class Run:
    """One journey: a display, its two programs' working folders, cleanups."""

    def __init__(self, args, wine, display, name):
        self.args = args
        self.wine = wine
        self.display = display
        self.root = tempfile.mkdtemp(prefix='kanaroll-wine-%s-' % name)
        self.places = J.load_places(args.places)
        self.programs = []

    def folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        return path

    def others(self):
        return [k.window for k in self.programs if k.proc.poll() is None]

    def start_linux(self, workdir):
        k = J.Kanaroll(self.display, os.path.abspath(self.args.linux_app), self.places, workdir,
                       others=self.others())
        self.programs.append(k)
        return k

    def start_windows(self, workdir, exe=None, *exe_args):
        app = self.wine.wrapper(self.root, exe or self.args.exe, *exe_args)
        k = J.Kanaroll(self.display, app, self.places, workdir, extra_env=self.wine.env, others=self.others())
        self.programs.append(k)
        # Without a window manager Wine puts its windows where it likes; keep
        # them apart from the Linux window.
        k.move_to(10, 10)
        return k

    def close(self, keep):
        for k in self.programs:
            k.close()
        if keep:
            print('left for inspection: %s' % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


def same_bytes(got, want, what):
    """Byte for byte, telling the first line that differs."""
    if got == want:
        return
    a, b = got.split(b'\r\n'), want.split(b'\r\n')
    line = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    show = lambda rows: repr(rows[line]) if line < len(rows) else '(the end)'
    raise J.Failure('%s: %d bytes from Windows, %d from Linux; line %d is %s from Windows, %s from Linux'
                    % (what, len(got), len(want), line + 1, show(a), show(b)))


class Area:
    """The pixels of one control, kept with its size so that a mismatch can
    be saved as a picture to look at."""

    def __init__(self, shot, rect):
        self.size = rect[2:]
        self.pixels = shot.region(rect)

    def __eq__(self, other):
        return self.size == other.size and self.pixels == other.pixels

    def picture_only(self):
        """The pixels with the window's own colour, which each system picks
        (its top-left corner), blanked out: what is left is the picture."""
        px = self.pixels
        ground = px[:3]
        return bytes(b for i in range(0, len(px), 3)
                     for b in ((0, 0, 0, 1) if px[i:i + 3] == ground else (1,) + tuple(px[i:i + 3])))

    def save(self, path):
        subprocess.run(['convert', '-size', '%dx%d' % self.size, '-depth', '8', 'rgb:-', path],
                       input=self.pixels, check=True)


def faces_and_result(k):
    shot = k.display.screenshot()
    return [Area(shot, k.rect(s)) for s in J.FACE_SLOTS + ('lblKekka',)]


def same_picture(run, got, want, what):
    if got.size != want.size or got.picture_only() != want.picture_only():
        name = what.split(':')[-1].strip().replace('(', '').replace(')', '')
        got.save(os.path.join(run.root, name + '-windows.png'))
        want.save(os.path.join(run.root, name + '-linux.png'))
        raise J.Failure('%s differs from the Linux build (both saved as pictures)' % what)


def fortune(k, self_name, partner):
    """A quick single fortune; returns the face slots and the result label."""
    shot = k.display.screenshot()
    if not hasattr(k, 'cover'):
        k.cover = shot.region(k.rect('fraHide1'))  # as the window opens
    caption = shot.region(k.rect('lblCp'))
    k.click('Option1(0)')
    k.enter_text('txtNamae1', self_name)
    k.enter_text('txtNamae2', partner)
    k.click('cmdPlay')

    def done():
        now = k.display.screenshot()
        return now.region(k.rect('lblCp')) != caption and now.region(k.rect('fraHide1')) != k.cover

    J.wait_for(done, 20, 'the result of %s and %s' % (self_name, partner))
    time.sleep(0.5)  # let the last paint land
    return faces_and_result(k)


# Pairs and what they give: two of 42%, then 40%, 49% and 100%.
FORTUNES = (('たろう', 'はなこ'), ('さくら', 'はなこ'), ('はなこ', 'たろう'), ('さくら', 'ゆうき'), ('あえ', 'いいえ'))


def journey_faces(run):
    """たろう + はなこ: the faces of 42% as the Linux build shows them, and a
    result label that is the same picture for every 42% and another for 40%,
    49% and 100%."""
    shown = {}
    for start, name in ((run.start_linux, 'linux'), (run.start_windows, 'windows')):
        k = start(run.folder(name))
        shown[name] = [fortune(k, *pair) for pair in FORTUNES]
        k.quit(30)
        areas = shown[name]
        J.check(areas[0] == areas[1], '%s: たろう + はなこ and さくら + はなこ (both 42%%) look different' % name)
        for pair, other in zip(FORTUNES[2:], areas[2:]):
            J.check(other[3] != areas[0][3], '%s: the result of %s + %s looks like 42%%' % ((name,) + pair))
        J.check(areas[0][:3] != areas[4][:3], '%s: 42%% and 100%% show the same faces' % name)
    # The faces are pictures and come out pixel for pixel on each system's
    # window colour; the label's text is rasterised by another font engine.
    for pair, got, want in zip(FORTUNES, shown['windows'], shown['linux']):
        for slot, g, w in zip(J.FACE_SLOTS, got, want):
            same_picture(run, g, w, '%s + %s: %s' % (pair + (slot,)))
    if shown['windows'][0][3] == shown['linux'][0][3]:
        print('  the result label matches the Linux build pixel for pixel')
    else:
        print('  SKIP the result label against Linux: Wine draws its text with another font engine')


def saved_file(k):
    k.save_results()
    return open(k.file(J.EXPORT_FILE), 'rb').read()


def batch_and_save(k, sort):
    """A quick batch, saved as it comes and again after a sort."""
    k.click('Option1(0)')
    k.click('cmdHozon')
    k.wait_grid(60)
    plain = saved_file(k)
    k.click(sort)
    return plain, saved_file(k)


def journey_batch(run):
    """A batch saved unsorted and after a sort: 一括判断.txt byte for byte the
    Linux build's for the same lists."""
    selfs = J.EXAMPLE_SELF + random_names(12, 1)
    partners = J.EXAMPLE_PARTNER + random_names(15, 2)
    results = []
    for start, name in ((run.start_linux, 'linux'), (run.start_windows, 'windows')):
        work = run.folder(name)
        J.write_lists(work, selfs, partners)
        k = start(work)
        results.append(batch_and_save(k, 'cmdKza'))
        k.quit()
    (lin_plain, lin_sorted), (win_plain, win_sorted) = results
    J.check(len(lin_plain.split(b'\r\n')) - 1 == 2 * len(selfs) * len(partners), 'the Linux file lacks rows')
    J.check(lin_plain != lin_sorted, 'the sort did not change the order')
    same_bytes(win_plain, lin_plain, '一括判断.txt (unsorted)')
    same_bytes(win_sorted, lin_sorted, '一括判断.txt (after 相性度の高い順)')


def add_names(k, pairs):
    for self_name, partner in pairs:
        k.enter_text('txtNamae1', self_name)
        k.display.key('Return')
        k.display.key('ctrl+a', 'BackSpace')
        k.display.type(partner)
        k.display.key('Return')


# Where the two converters could part: WAVE DASH has no code in code page
# 932 and must be refused; FULLWIDTH TILDE is the code 81 60.
WAVE_DASH = 'た\u301cろう'
FULLWIDTH_TILDE = 'た\uff5eろう'


def journey_lists(run):
    """Names added, one refused, one deleted: the list files byte for byte
    the Linux build's."""
    pairs = list(zip(J.LONG_SELF, J.LONG_PARTNER))
    files = []
    for start, name in ((run.start_linux, 'linux'), (run.start_windows, 'windows')):
        work = run.folder(name)
        k = start(work)
        add_names(k, pairs)
        k.enter_text('txtNamae1', WAVE_DASH)
        k.display.key('Return')
        k.answer('文字確認', 'Return')
        k.enter_text('txtNamae1', FULLWIDTH_TILDE)
        k.display.key('Return')
        J.wait_file(k.file(J.SELF_FILE), J.list_bytes(J.LONG_SELF + [FULLWIDTH_TILDE]))
        J.wait_file(k.file(J.PARTNER_FILE), J.list_bytes(J.LONG_PARTNER[:3]))
        # A deletion rewrites the whole file.
        k.double_click_first_entry('lstAite')
        k.answer('削除確認', 'Tab', 'Return')  # it opens on Cancel
        J.wait_file(k.file(J.PARTNER_FILE), J.list_bytes(J.LONG_PARTNER[1:3]))
        k.quit()
        files.append([open(k.file(f), 'rb').read() for f in (J.SELF_FILE, J.PARTNER_FILE)])
        J.check(not [f for f in os.listdir(work) if '.txt.' in f], '%s: temporary files left' % name)
    same_bytes(files[1][0], files[0][0], J.SELF_FILE)
    same_bytes(files[1][1], files[0][1], J.PARTNER_FILE)


def help_windows(run):
    return run.display.windows('^%s$' % run.wine.help_title)


def journey_help(run):
    """ヘルプ opens the system's viewer on zqHelp.chm; 終了 closes it."""
    work = run.folder('windows')
    k = run.start_windows(work)
    J.check(not help_windows(run), 'a help window is open before ヘルプ')
    k.click('cmdHelp')
    try:
        viewer = J.wait_for(lambda: k.live() and help_windows(run), 30, 'the help viewer')[0]
    except J.Failure:
        raise J.Failure('no window titled %s after ヘルプ' % HELP_TITLE)
    # Wine places it over the buttons; there is no window manager to move it.
    run.display.run('xdotool', 'windowmove', '--sync', viewer, '700', '10')
    print('  SKIP the help topic itself: Wine shows it through Gecko, which Debian does not package')
    k.quit(30)
    J.wait_for(lambda: not help_windows(run), 10, 'the help window to close')


def reg_has_key(run):
    r = run.wine.run(run.display, 'reg', 'query', UNINSTALL_KEY)
    return r.returncode == 0


def shell_link(path):
    """Target, arguments and working folder of a Windows shortcut (.lnk)."""
    data = open(path, 'rb').read()
    J.check(data[:4] == b'\x4c\0\0\0', '%s is not a shortcut' % path)
    flags = int.from_bytes(data[20:24], 'little')
    at = 0x4C
    if flags & 0x1:  # an item list of the target
        at += 2 + int.from_bytes(data[at:at + 2], 'little')
    target = ''
    if flags & 0x2:  # where the target lies
        size = int.from_bytes(data[at:at + 4], 'little')
        info = data[at:at + size]
        header = int.from_bytes(info[4:8], 'little')
        if header >= 0x24:
            start = int.from_bytes(info[28:32], 'little')
            end = start
            while info[end:end + 2] != b'\0\0':
                end += 2
            target = info[start:end].decode('utf-16-le')
        else:
            start = int.from_bytes(info[16:20], 'little')
            target = info[start:info.index(b'\0', start)].decode('mbcs' if os.name == 'nt' else 'cp932')
        at += size
    strings = {}
    wide = bool(flags & 0x80)
    for bit, name in ((0x4, 'name'), (0x8, 'relative'), (0x10, 'workdir'), (0x20, 'args'), (0x40, 'icon')):
        if flags & bit:
            count = int.from_bytes(data[at:at + 2], 'little')
            raw = data[at + 2:at + 2 + count * (2 if wide else 1)]
            strings[name] = raw.decode('utf-16-le' if wide else 'cp932').rstrip('\0')  # Wine counts the end mark
            at += 2 + len(raw)
    return {'target': target or strings.get('relative', ''), 'args': strings.get('args', ''),
            'workdir': strings.get('workdir', '')}


def journey_installer(run):
    """setup.exe /S installs for this user, the Start menu entry starts the
    program in Documents\\Kanaroll, uninstall.exe /S takes it all away again."""
    install = run.wine.user_folder('AppData', 'Local', 'Programs', 'Kanaroll')
    documents = run.wine.user_folder('Documents', 'Kanaroll')
    # Wine links Documents into the home the prefix was made with: only a
    # home beside the prefix is the test's own to write into and clear.
    own = os.path.dirname(os.path.realpath(run.wine.prefix)) + os.sep
    J.check(os.path.realpath(documents).startswith(own),
            '%s lies outside %s; a real Documents folder is not the test\'s to use' % (documents, own))
    shutil.rmtree(documents, ignore_errors=True)  # left by a run that failed
    J.check(not os.path.exists(install) and not reg_has_key(run), 'Kanaroll is installed before the test')
    setup = run.wine.run(run.display, run.args.setup, '/S', timeout=300)
    J.check(setup.returncode == 0, 'setup.exe /S ended with status %d' % setup.returncode)
    try:
        for f in ('kanaroll.exe', 'zqHelp.chm', 'Qt6Core.dll', os.path.join('platforms', 'qwindows.dll'),
                  'uninstall.exe'):
            J.check(os.path.isfile(os.path.join(install, f)), 'not installed: %s' % f)
        J.check(reg_has_key(run), 'no uninstall entry under %s' % UNINSTALL_KEY)
        start_menu = run.wine.user_folder('AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs',
                                          'Kanaroll.lnk')
        J.check(os.path.isfile(start_menu), 'no Start menu entry')
        link = shell_link(start_menu)
        exe = os.path.join(install, 'kanaroll.exe')
        J.check(link['target'].lower().endswith('\\kanaroll.exe'), 'the entry starts %r' % link['target'])
        J.check(link['args'] == '--documents', 'the entry passes %r' % link['args'])
        J.check(link['workdir'].endswith('\\Documents\\Kanaroll'), 'the entry starts in %r' % link['workdir'])
        # As the entry starts it, though from elsewhere: it works in
        # Documents\Kanaroll all the same.
        print('  SKIP starting through the shortcut itself: Wine\'s start does not wait for it; the entry is read')
        k = run.start_windows(run.folder('elsewhere'), exe, link['args'])
        add_names(k, [('たろう', 'はなこ')])
        J.wait_file(os.path.join(documents, J.SELF_FILE), J.list_bytes(['たろう']))
        k.quit()
    finally:
        for k in run.programs:  # a program still running keeps its files
            k.close()
        uninstaller = os.path.join(install, 'uninstall.exe')
        if os.path.exists(uninstaller):
            un = run.wine.run(run.display, uninstaller, '/S', timeout=120)
            J.check(un.returncode == 0, 'uninstall.exe /S ended with status %d' % un.returncode)
    # NSIS runs the uninstaller from a copy that deletes the folder after it ends.
    J.wait_for(lambda: not os.path.exists(install), 30, 'the program folder to go')
    J.check(not reg_has_key(run), 'the uninstall entry is still there')
    J.check(os.path.isfile(os.path.join(documents, J.SELF_FILE)), "the uninstaller took the user's lists")
    shutil.rmtree(documents, ignore_errors=True)


def click_to_change(grab, k, button, changed, timeout=300):
    """Seconds from a click on the button until changed() holds."""
    cx, cy = k.point(button)
    k.display.run('xdotool', 'mousemove', str(cx), str(cy))
    t0 = time.monotonic()
    # xdotool sleeps its click delay after the click too: not waited for.
    click = subprocess.Popen(['xdotool', 'click', '1'], env=k.display.env)
    try:
        while not changed():
            k.live()
            J.check(time.monotonic() < t0 + timeout, 'nothing changed within %d s of a click on %s' % (timeout, button))
            time.sleep(0.002)
        return time.monotonic() - t0
    finally:
        click.wait()


def timed_batch(run, k):
    """Click of 一括 to the grid shown, with the pointer in the window; and the
    floor of such a figure, the click on さくさくモード to its dot shown.
    Both in seconds."""
    grab = Grabber(run.display.env['DISPLAY'])
    try:
        dot = k.rect('Option1(0)')
        before = grab.pixels(dot)
        floor = click_to_change(grab, k, 'Option1(0)', lambda: grab.pixels(dot) != before, 30)
        x, _, _, _ = k.rect('Label2')
        bx, by, bw, bh = k.rect('cmdIHozon')
        strip = (x, by, bx + bw - x, bh)
        J.check(grab.share_of(strip, J.IVORY) >= 0.2, 'the grid is shown before the run')
        return click_to_change(grab, k, 'cmdHozon', lambda: grab.share_of(strip, J.IVORY) < 0.2), floor
    finally:
        grab.close()


def journey_bench(run):
    """The quick batch of 300 x 300 in the Wine window and in the Linux window,
    on one display in the same run; the saved files the same bytes."""
    selfs, partners = random_names(300, 2), random_names(300, 3)
    figures, floors, saved = {}, {}, {}
    for start, name in ((run.start_linux, 'linux'), (run.start_windows, 'windows')):
        work = run.folder(name)
        J.write_lists(work, selfs, partners)
        k = start(work)
        figures[name], floors[name] = timed_batch(run, k)
        saved[name] = saved_file(k)
        k.quit(30)
    J.check(saved['linux'].count(b'\r\n') == 2 * 300 * 300, 'the Linux run saved %d rows, not 180000'
            % saved['linux'].count(b'\r\n'))
    same_bytes(saved['windows'], saved['linux'], '一括判断.txt of 300 x 300')
    # The floor is what a click and a paint take in each window by themselves.
    print('windows_quick_batch_300x300: %.0f ms (linux: %.0f ms; ratio %.1f; click-to-paint floor %.0f ms, '
          'linux %.0f ms; target: <= 1000 ms)'
          % (figures['windows'] * 1000, figures['linux'] * 1000, figures['windows'] / figures['linux'],
             floors['windows'] * 1000, floors['linux'] * 1000))


def journey_session_end(run):
    """The close box (WM_CLOSE) and the end of the session (WM_QUERYENDSESSION,
    WM_ENDSESSION), even in the middle of an animated batch, end the program
    as 終了 does: the lists whole, no temporary file left; status 0 after the
    close box (at the session's end the system ends the process itself once
    WM_ENDSESSION is answered, so its status is the system's)."""
    ways = (('the close box', ('taskkill', '/im', 'kanaroll.exe'), True),
            ('the end of the session', ('wineboot', '--end-session'), False))
    for what, command, own_status in ways:
        work = run.folder(command[0])
        J.write_lists(work, J.LONG_SELF, J.LONG_PARTNER)
        k = run.start_windows(work)
        k.click('cmdHozon')
        k.answer('モード確認', 'Return')
        J.wait_for(k.drawing_started, 15, 'the first fortune of the run')
        asked = run.wine.run(run.display, *command, timeout=60)
        J.check(asked.returncode == 0, '%s: %s ended with status %d' % (what, command[0], asked.returncode))
        try:
            rc = k.proc.wait(30)
        except subprocess.TimeoutExpired:
            raise J.Failure('%s did not end the program' % what)
        J.check(rc == 0 or not own_status, '%s: the program ended with status %d' % (what, rc))
        J.check(open(k.file(J.SELF_FILE), 'rb').read() == J.list_bytes(J.LONG_SELF), '%s: the self list changed' % what)
        J.check(not os.path.exists(k.file(J.EXPORT_FILE)), '%s saved the results' % what)
        J.check(not [f for f in os.listdir(work) if '.txt.' in f], '%s: temporary files left' % what)
    print('  SKIP Ctrl+C and a console\'s close: the program is started here without a console')


JOURNEYS = {
    'faces': journey_faces,
    'batch': journey_batch,
    'lists': journey_lists,
    'help': journey_help,
    'installer': journey_installer,
    'bench': journey_bench,
    # Last: the end of the session ends Wine's own processes too.
    'session_end': journey_session_end,
}


KEYPAD = ('KP0', 'KP1', 'KP2', 'KP3', 'KP4', 'KP5', 'KP6', 'KP7', 'KP8', 'KP9', 'KPDL', 'KPAD', 'KPSU', 'KPMU', 'KPDV')


def main():
    parser = argparse.ArgumentParser()
    for opt in ('--exe', '--setup', '--linux-app', '--places'):
        parser.add_argument(opt, required=True)
    parser.add_argument('journey', nargs='*', help='any of %s; all when none' % ', '.join(JOURNEYS))
    args = parser.parse_args()
    unknown = [j for j in args.journey if j not in JOURNEYS]
    if unknown:
        parser.error('no journey %s' % ', '.join(unknown))
    wine = Wine()
    failed = False
    # One display for all: Wine's desktop process stays with the first one.
    home = tempfile.mkdtemp(prefix='kanaroll-wine-display-')
    try:
        J.TYPED += WAVE_DASH + FULLWIDTH_TILDE  # keys of their own for these too
        # Wine passes on only keys it has a virtual key for: many spare
        # keycodes have none, the keypad's all do. The kana go there.
        display = J.Display(home, SCREEN, kana_keys=KEYPAD)
        # Wine gives its windows' titles in the locale's encoding; xdotool
        # reads them back only in a UTF-8 locale.
        display.env.update(LC_ALL='C.UTF-8')
    except J.Skip as e:
        print('SKIP wine journeys: %s' % e)
        return 0
    try:
        for name in args.journey or list(JOURNEYS):
            began = time.monotonic()
            run = None
            status = 'FAIL'
            try:
                run = Run(args, wine, display, name)
                JOURNEYS[name](run)
                status = 'PASS'
            except J.Skip as e:
                status = 'SKIP'
                print('SKIP wine %s: %s' % (name, e))
            except (J.Failure, OSError, subprocess.SubprocessError) as e:  # a tool that hung or broke fails it too
                print('FAIL wine %s: %s' % (name, e))
                if run is not None:
                    try:
                        shutil.copy(run.display.screenshot().path, os.path.join(run.root, 'failure.png'))
                    except Exception:
                        pass
                    for k in run.programs:
                        if not k.log.closed:
                            k.log.flush()
                        log = open(k.log.name, errors='replace').read().strip()
                        if log:
                            print('program output:\n' + log[-1500:])
            finally:
                if run is not None:
                    run.close(keep=status == 'FAIL')
            failed |= status == 'FAIL'
            if status == 'PASS':
                print('PASS wine %s (%.0f s)' % (name, time.monotonic() - began))
    finally:
        display.close()
        shutil.rmtree(home, ignore_errors=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
