#!/bin/sh
# make test-windows: the cross-built unit tests under wine64, in a private
# Wine prefix on a private X server.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
win=$root/${WIN_BUILD:-build-windows}
qt=$(ls -d /var/cache/kanaroll/qt-*-mingw64 | head -n 1)
# A home of its own: Wine links Documents and Desktop into it, and the
# installer test writes there.
export HOME="$win/wine-home" WINEPREFIX="$win/wine" WINEDEBUG=-all WINEARCH=win64
mkdir -p "$HOME"
# Qt's and the compiler's run-time DLLs, as the packaged folder carries them.
gccdll=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
export WINEPATH="Z:$qt/bin;Z:$gccdll;Z:/usr/x86_64-w64-mingw32/lib"
export QT_PLUGIN_PATH="Z:$qt/plugins"
display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT INT TERM
export DISPLAY=$display
wineboot -i >/dev/null 2>&1 || true
# Debian 12 starts 64-bit programs through its wine64 loader.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
status=0
# No CUPS for Wine to map: the print test meets a machine without a printer.
export CUPS_SERVER=$win/no-cups.sock
for t in tst_engine test_cp932 tst_pictures tst_play tst_batch_print_win; do
    exe=$(find "$win" -maxdepth 2 -name "$t.exe" | head -n 1)
    if [ -z "$exe" ]; then echo "test-windows: $t.exe was not built" >&2; status=1; continue; fi
    # Wine drops a test's console output into the void; the log goes to a file.
    log=$win/$t.wine.txt
    rm -f "$log"
    if (cd "$(dirname "$exe")" && QT_QPA_PLATFORM=windows "$wine" "$exe" -o "Z:$log,txt"); then
        grep '^Totals' "$log" || true
        echo "PASS $t"
    else
        cat "$log" 2>/dev/null || true
        echo "FAIL $t"; status=1
    fi
done
sh "$root/tools/windows/test-windows-print.sh" "$wine" "$win" || status=1

# The journeys: the packaged program under Wine against the Linux build.
wineserver -k 2>/dev/null || true
host=$root/${HOST_BUILD:-build}
version=$(sed -n 's/^project(Kanaroll VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
cmake --build "$host" -j"${JOBS:-2}" --target kanaroll kanaroll_places >/dev/null
# The package as shipped: its own libraries and plugins, not the build tree's.
env -u WINEPATH -u QT_PLUGIN_PATH WINE=$wine python3 "$root/tests/windows/wine_journeys.py" \
    --exe "$win/kanaroll-$version-win64/kanaroll.exe" --setup "$win/kanaroll-$version-setup.exe" \
    --linux-app "$host/kanaroll" --places "$host/tests/acceptance/kanaroll_places" \
    ${WINE_JOURNEYS:-} || status=1
exit $status
