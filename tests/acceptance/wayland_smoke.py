#!/usr/bin/env python3
"""The program on native Wayland, as on a desktop without X.

Starts weston's headless backend on a private socket, then the program with
QT_QPA_PLATFORM=wayland in a folder that --dir has to create; takes a
screenshot with weston's screenshooter (weston runs with --debug for it),
checks the window's size and a few of its colours, and ends the program with
SIGTERM.

    wayland_smoke.py --app KANAROLL --places PLACES

Exit status 0 on success, 1 on failure, 77 when weston or the Qt Wayland
plugin is missing.
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from journeys import IVORY, SKIP, Failure, Screenshot, Skip, check, load_places, stop_process, wait_for

SCREEN = (1024, 768)
# Design colours at the left middle of the labels, as the X11 colour test has them.
LABEL_COLOURS = {'Label1(0)': (255, 192, 255), 'Label1(1)': (192, 192, 255),
                 'lblJlist': (255, 224, 192), 'lblAlist': (255, 255, 192)}


def start_weston(root):
    runtime = os.path.join(root, 'runtime')
    os.makedirs(runtime, mode=0o700)
    ini = os.path.join(root, 'weston.ini')
    # A black background and no panel: everything else on screen is the window.
    with open(ini, 'w') as f:
        f.write('[core]\nidle-time=0\n[shell]\nbackground-color=0xff000000\npanel-position=none\n')
    usage = subprocess.run(['weston', '--help'], capture_output=True, text=True)
    # The headless backend draws nothing unless told to use pixman.
    renderer = '--renderer=pixman' if '--renderer' in usage.stdout + usage.stderr else '--use-pixman'
    socket = 'kanaroll-%d' % os.getpid()
    env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY')}
    env['XDG_RUNTIME_DIR'] = runtime
    log = open(os.path.join(root, 'weston.log'), 'wb')
    proc = subprocess.Popen(['weston', '--config=' + ini, '--backend=headless-backend.so', renderer,
                             '--socket=' + socket, '--debug', '--width=%d' % SCREEN[0],
                             '--height=%d' % SCREEN[1]],
                            env=env, stdout=log, stderr=subprocess.STDOUT)

    def up():
        if proc.poll() is not None:
            raise Failure('weston ended with status %d' % proc.returncode)
        return os.path.exists(os.path.join(runtime, socket))
    try:
        wait_for(up, 20, 'the weston socket')
    except Failure:
        stop_process(proc)
        raise
    env['WAYLAND_DISPLAY'] = socket
    return proc, env


def screenshot(env, shots):
    for old in glob.glob(os.path.join(shots, '*.png')):
        os.remove(old)
    r = subprocess.run(['weston-screenshooter'], cwd=shots, env=env, capture_output=True, text=True)
    found = glob.glob(os.path.join(shots, '*.png'))
    if r.returncode != 0 or len(found) != 1:
        raise Failure('weston-screenshooter failed: %s' % r.stderr.strip())
    return Screenshot(found[0])


def window_box(shot):
    """x, y, w, h of everything that is not the black background."""
    box = subprocess.run(['convert', shot.path, '-format', '%@', 'info:'],
                         check=True, capture_output=True, text=True).stdout
    size, x, y = box.split('+')
    w, h = size.split('x')
    return int(x), int(y), int(w), int(h)


def run(args, root):
    for tool in ('weston', 'weston-screenshooter', 'convert'):
        if shutil.which(tool) is None:
            raise Skip('%s is not installed (make setup installs it)' % tool)
    places = load_places(args.places)
    width, height = places['frmMain']['rect'][2:]
    weston, env = start_weston(root)
    app = None
    try:
        for var in ('QT_QPA_PLATFORM', 'QT_SCREEN_SCALE_FACTORS', 'QT_AUTO_SCREEN_SCALE_FACTOR'):
            env.pop(var, None)
        app_env = dict(env, QT_QPA_PLATFORM='wayland', QT_SCALE_FACTOR='1',
                       # Without decorations the surface is exactly the client area.
                       QT_WAYLAND_DISABLE_WINDOWDECORATION='1')
        work = os.path.join(root, 'new', 'folder')
        log_path = os.path.join(root, 'kanaroll.log')
        with open(log_path, 'wb') as log:
            app = subprocess.Popen([os.path.abspath(args.app), '--dir', work], cwd=root, env=app_env,
                                   stdout=log, stderr=subprocess.STDOUT)
        shots = os.path.join(root, 'shots')
        os.makedirs(shots)

        def painted():
            if app.poll() is not None:
                out = open(log_path, errors='replace').read()
                if 'platform plugin "wayland"' in out:
                    raise Skip('the Qt Wayland plugin is not installed (qt6-wayland)')
                raise Failure('the program ended with status %d: %s' % (app.returncode, out.strip()[-500:]))
            shot = screenshot(env, shots)
            x, y, w, h = window_box(shot)
            if (w, h) != (width, height):
                return None
            px, py, pw, ph = places['Picture1']['rect']
            if shot.share_of((x + px + 4, y + py + 4, pw - 8, ph - 8), IVORY) != 1.0:
                return None
            return shot, (x, y)
        try:
            shot, (x, y) = wait_for(painted, 30, 'a painted %dx%d window' % (width, height), interval=0.5)
        except Failure:
            if app.poll() is not None:
                raise
            box = window_box(screenshot(env, shots))
            raise Failure('no painted %dx%d window; the screen shows %dx%d at %d,%d'
                          % ((width, height) + box[2:] + box[:2]))
        check(os.path.isdir(work), '--dir did not create %s' % work)
        for name, colour in LABEL_COLOURS.items():
            lx, ly, lw, lh = places[name]['rect']
            got = tuple(shot.region((x + lx + 3, y + ly + lh // 2, 1, 1)))
            check(got == colour, '%s shows %r, not %r' % (name, got, colour))

        # No pointer or keyboard on the headless backend: the signal that a
        # logout sends is the way out, and it ends the program like 終了.
        app.send_signal(signal.SIGTERM)
        try:
            status = app.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure('the program did not end within 15 s of SIGTERM')
        check(status == 0, 'the program ended with status %d after SIGTERM' % status)
    finally:
        if app is not None:
            stop_process(app)
        stop_process(weston)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--places', required=True)
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix='kanaroll-wayland-')
    try:
        run(args, root)
    except Skip as e:
        print('SKIP: %s' % e)
        shutil.rmtree(root, ignore_errors=True)
        return SKIP
    except Failure as e:
        print('FAIL (wayland): %s' % e)
        print('left for inspection: %s' % root)
        return 1
    shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
