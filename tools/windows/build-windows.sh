#!/bin/sh
# make windows: cross-builds kanaroll.exe and its unit tests for 64-bit
# Windows, gathers what it needs to run into one folder, and packs it as
# kanaroll-<version>-win64.zip and kanaroll-<version>-setup.exe.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
host=${HOST_BUILD:-build}
win=${WIN_BUILD:-build-windows}
jobs=${JOBS:-2}
version=$(sed -n 's/^project(Kanaroll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mingw=x86_64-w64-mingw32

# Qt for Windows, built once per machine.
qt=$(sh tools/windows/build-qt.sh | tail -n 1)

# The art is rendered on this machine, by the Linux build's own tool.
[ -f "$host/build.ninja" ] || cmake -S . -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$host" -j"$jobs" --target kanaroll-prerender

KANAROLL_QT_WIN=$qt cmake -S . -B "$win" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake \
    -DKANAROLL_PRERENDER="$root/$host/tools/art/kanaroll-prerender" -DKANAROLL_WERROR=ON
cmake --build "$win" -j"$jobs"

# The folder a user runs it from: the program, its help file, the Qt
# libraries and plugins it loads, and the compiler's runtime.
name=kanaroll-$version-win64
dist=$win/$name
rm -rf "$dist"
cmake --install "$win" --prefix "$dist"
for lib in Qt6Core Qt6Gui Qt6Widgets Qt6PrintSupport; do
    cp "$qt/bin/$lib.dll" "$dist/"
done
for plugin in platforms/qwindows styles/qwindowsvistastyle; do
    if [ -f "$qt/plugins/$plugin.dll" ]; then
        mkdir -p "$dist/$(dirname "$plugin")"
        cp "$qt/plugins/$plugin.dll" "$dist/$plugin.dll"
    fi
done
[ -f "$dist/platforms/qwindows.dll" ] || { echo "build-windows: no qwindows.dll in $qt" >&2; exit 1; }
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    path=$($mingw-g++-posix -print-file-name=$dll)
    [ -f "$path" ] || path=/usr/$mingw/lib/$dll
    cp "$path" "$dist/"
done
# The toolkit's own Japanese texts (its dialogs and context menus).
if [ -f /usr/share/qt6/translations/qtbase_ja.qm ]; then
    mkdir -p "$dist/translations"
    cp /usr/share/qt6/translations/qtbase_ja.qm "$dist/translations/"
fi
cp LICENSE "$dist/LICENSE.txt"

rm -f "$win/$name.zip" "$win/kanaroll-$version-setup.exe"
(cd "$win" && cmake -E tar cf "$name.zip" --format=zip "$name")
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSOURCE="$root/$dist" \
    -DOUTFILE="$root/$win/kanaroll-$version-setup.exe" tools/windows/kanaroll.nsi
cp "$win/$name.zip" "$win/kanaroll-$version-setup.exe" .
ls -l "$name.zip" "kanaroll-$version-setup.exe"
