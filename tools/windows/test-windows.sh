#!/bin/sh
# make test-windows: the cross-built unit tests under wine64, in a private
# Wine prefix on a private X server.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
win=$root/${WIN_BUILD:-build-windows}
qt=$(ls -d /var/cache/kanaroll/qt-*-mingw64 | head -n 1)
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEPATH="$(winepath -w "$qt/bin" 2>/dev/null || echo "Z:$qt/bin")"
display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT INT TERM
export DISPLAY=$display
wineboot -i >/dev/null 2>&1 || true
status=0
for t in tst_engine test_cp932 tst_pictures tst_play; do
    exe=$(find "$win/tests" -name "$t.exe" | head -n 1)
    if [ -z "$exe" ]; then echo "test-windows: $t.exe was not built" >&2; status=1; continue; fi
    if (cd "$(dirname "$exe")" && QT_QPA_PLATFORM=windows wine64 "$exe"); then
        echo "PASS $t"
    else
        echo "FAIL $t"; status=1
    fi
done
exit $status
