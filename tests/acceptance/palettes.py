#!/usr/bin/env python3
"""Every text of the window reads under the palettes a desktop brings.

One table of palettes by areas: for each palette the program is started in a
private X server under xcb, tells one fortune, and every area's text is
measured on the screenshot: the WCAG contrast of its text pixels against the
area's background must be at least 4.5:1.

    palettes.py --app KANAROLL --places PLACES [--report]

Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
"""

import argparse
import collections
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from journeys import Display, Failure, Kanaroll, Skip, SKIP, check, load_places, wait_for, write_lists  # noqa: E402

MINIMUM = 4.5

QT_PLUGINS = '/usr/lib/x86_64-linux-gnu/qt6/plugins'
DARKER = '/usr/share/qt6ct/colors/darker.conf'

# White on black, as the high-contrast themes of desktops have it; the roles
# in qt6ct's order (WindowText, Button, Light, Midlight, Dark, Mid, Text,
# BrightText, ButtonText, Base, Window, Shadow, Highlight, HighlightedText,
# Link, LinkVisited, AlternateBase, NoRole, ToolTipBase, ToolTipText,
# PlaceholderText).
HIGH_CONTRAST = ', '.join([
    '#ffffffff', '#ff000000', '#ffffffff', '#ffc0c0c0', '#ff808080', '#ffa0a0a0', '#ffffffff',
    '#ffffffff', '#ffffffff', '#ff000000', '#ff000000', '#ff000000', '#ff1aebff', '#ff000000',
    '#ffffff00', '#ffffff00', '#ff000000', '#ff000000', '#ff000000', '#ffffffff', '#ffc0c0c0'])


def qt6ct(root, scheme_path):
    """The environment of qt6ct with the given colour scheme."""
    config = os.path.join(root, 'config-%s' % os.path.basename(scheme_path))
    os.makedirs(os.path.join(config, 'qt6ct'), exist_ok=True)
    with open(os.path.join(config, 'qt6ct', 'qt6ct.conf'), 'w') as f:
        f.write('[Appearance]\ncolor_scheme_path=%s\ncustom_palette=true\nstyle=Fusion\n' % scheme_path)
    return {'QT_QPA_PLATFORMTHEME': 'qt6ct', 'XDG_CONFIG_HOME': config}


def high_contrast(root):
    path = os.path.join(root, 'high-contrast.conf')
    with open(path, 'w') as f:
        f.write('[ColorScheme]\n')
        for group in ('active', 'disabled', 'inactive'):
            f.write('%s_colors=%s\n' % (group, HIGH_CONTRAST))
    return qt6ct(root, path)


# name: (plugin file that must exist, how to get the environment)
PALETTES = collections.OrderedDict([
    ('light', (None, lambda root: {})),
    ('qt6ct-darker', ('platformthemes/libqt6ct.so', lambda root: qt6ct(root, DARKER))),
    ('gtk3-adwaita-dark', ('platformthemes/libqgtk3.so',
                           lambda root: {'QT_QPA_PLATFORMTHEME': 'gtk3', 'GTK_THEME': 'Adwaita:dark'})),
    ('adwaita-dark-style', ('styles/adwaita.so', lambda root: {'QT_STYLE_OVERRIDE': 'Adwaita-Dark'})),
    ('adwaita-style', ('styles/adwaita.so', lambda root: {'QT_STYLE_OVERRIDE': 'Adwaita'})),
    ('high-contrast', ('platformthemes/libqt6ct.so', high_contrast)),
])

# What must read, as the part of a control's rectangle (x, y, w, h in shares
# of it) that holds text and nothing else: borders, the option indicator and
# the button pictures left out.
AREAS = collections.OrderedDict([
    ('txtNamae1', (0.02, 0.15, 0.9, 0.7)),
    ('txtNamae2', (0.02, 0.15, 0.9, 0.7)),
    ('lstJibun', (0.02, 0.05, 0.9, 0.3)),
    ('lstAite', (0.02, 0.05, 0.9, 0.3)),
    ('Label1(0)', (0.1, 0.1, 0.8, 0.8)),
    ('lblJlist', (0.15, 0.05, 0.7, 0.9)),
    ('Option1(0)', (0.3, 0.0, 0.7, 1.0)),
    ('Option1(1)', (0.3, 0.0, 0.7, 1.0)),
    ('cmdPlay', (0.2, 0.7, 0.6, 0.25)),
    ('lblCp', (0.0, 0.0, 1.0, 1.0)),
    ('Picture1', (0.02, 0.02, 0.96, 0.6)),
    ('lblKekka', (0.0, 0.0, 1.0, 1.0)),
])

# Areas whose text and background colours the design fixes both: they keep
# the design's own contrast, whatever the palette (自分 falls just short of
# 4.5:1 by design).
DESIGN_PAIRS = {
    'Label1(0)': ((192, 0, 0), (255, 192, 255)),
    'lblJlist': ((64, 64, 0), (255, 224, 192)),
}


def luminance(rgb):
    def channel(v):
        v /= 255.0
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = rgb
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def contrast(a, b):
    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def text_contrast(data):
    """The contrast of an area's text against its background: the background
    is its most frequent colour; the text, the colour that a twentieth of
    the pixels that differ from it reach (glyph cores, not one stray pixel
    nor the soft edges of the strokes)."""
    pixels = [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]
    counts = collections.Counter(pixels)
    background = counts.most_common(1)[0][0]
    ratios = sorted((contrast(p, background) for p in pixels if p != background), reverse=True)
    if len(ratios) < 8:
        return background, None
    return background, ratios[len(ratios) // 20]


def sub_rect(k, name, share):
    x, y, w, h = k.rect(name)
    sx, sy, sw, sh = share
    return (x + int(w * sx), y + int(h * sy), max(1, int(w * sw)), max(1, int(h * sh)))


def measure(ctx_root, app, places, palette, env):
    work = os.path.join(ctx_root, palette)
    os.mkdir(work)
    write_lists(work, ['たろう'], ['はなこ'])
    display = Display(ctx_root)
    k = None
    try:
        k = Kanaroll(display, app, places, work, env)
        banner = display.screenshot().region(k.rect('fraHide1'))
        k.enter_text('txtNamae2', 'はなこ')
        k.click('cmdPlay')
        wait_for(lambda: k.live() and display.screenshot().region(k.rect('fraHide1')) != banner, 20,
                 'the result under %s' % palette)
        time.sleep(0.5)
        # The pointer off the controls, so that no hover light or tip lies over them.
        display.run('xdotool', 'mousemove', str(k.origin[0] + 2), str(k.origin[1] + 2))
        time.sleep(0.5)
        shot = display.screenshot()
        figures = collections.OrderedDict()
        for area, share in AREAS.items():
            figures[area] = text_contrast(shot.region(sub_rect(k, area, share)))[1]
        k.quit()
        return figures
    finally:
        if k is not None:
            k.close()
        display.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--places', required=True)
    parser.add_argument('--report', action='store_true', help='print every figure')
    parser.add_argument('--only', help='one palette of the table')
    args = parser.parse_args()
    places = load_places(args.places)
    root = tempfile.mkdtemp(prefix='kanaroll-palettes-')
    failures = []
    skipped = []
    try:
        for palette, (plugin, environment) in PALETTES.items():
            if args.only and palette != args.only:
                continue
            if plugin is not None and not os.path.exists(os.path.join(QT_PLUGINS, plugin)):
                skipped.append(palette)
                continue
            figures = measure(root, os.path.abspath(args.app), places, palette, environment(root))
            line = ', '.join('%s %s' % (a, 'none' if c is None else '%.1f' % c) for a, c in figures.items())
            if args.report:
                print('%s: %s' % (palette, line))
            for area, c in figures.items():
                if c is None:
                    failures.append('%s / %s: no text seen' % (palette, area))
                elif area in DESIGN_PAIRS:
                    want = contrast(*DESIGN_PAIRS[area])
                    if abs(c - want) > 0.3:
                        failures.append('%s / %s: %.2f:1, the design has %.2f:1' % (palette, area, c, want))
                elif c < MINIMUM:
                    failures.append('%s / %s: %.2f:1' % (palette, area, c))
    except Skip as e:
        print('SKIP: %s' % e)
        return SKIP
    except Failure as e:
        print('FAIL: %s' % e)
        print('left for inspection: %s' % root)
        return 1
    if skipped:
        print('palettes not installed, left out: %s' % ', '.join(skipped))
    if failures:
        print('FAIL: under %.1f:1\n  %s' % (MINIMUM, '\n  '.join(failures)))
        print('left for inspection: %s' % root)
        return 1
    shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
