#!/bin/sh
# Cross-builds Qt for 64-bit Windows from Debian's own qt6-base and qt6-svg
# source packages, of the host Qt's version, into a cache kept per machine:
#   /var/cache/kanaroll/qt-<version>-mingw64
# Only what Kanaroll uses is built. Runs once; later calls return at once.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[-+~].*//')
cache=${KANAROLL_CACHE:-/var/cache/kanaroll}
prefix=$cache/qt-$version-mingw64
work=$cache/qt-$version-src
jobs=${JOBS:-2}

if [ -e "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
mkdir -p "$work"
cd "$work"

# A private deb-src list naming the mirrors apt already uses, read from
# apt's own sources, so nothing about the host is written into the project.
if [ ! -d qtbase ]; then
    apt_private=$work/apt
    mkdir -p "$apt_private/lists/partial" "$apt_private/sources.list.d"
    : > "$apt_private/sources.list"
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        awk 'BEGIN { RS=""; FS="\n" }
             { deb = 0; out = "" ;
               for (i = 1; i <= NF; i++) {
                   if ($i ~ /^Types:/) { if ($i ~ /[ \t]deb([ \t]|$)/) deb = 1; out = out "Types: deb-src\n" }
                   else if ($i !~ /^#/) out = out $i "\n"
               }
               if (deb) printf "%s\n", out }' "$f" > "$apt_private/sources.list.d/$(basename "$f")"
    done
    if [ -e /etc/apt/sources.list ]; then
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >> "$apt_private/sources.list"
    fi
    aptopts="-o Dir::Etc::SourceList=$apt_private/sources.list \
        -o Dir::Etc::SourceParts=$apt_private/sources.list.d \
        -o Dir::State::Lists=$apt_private/lists \
        -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache="
    # shellcheck disable=SC2086
    apt-get $aptopts update
    # shellcheck disable=SC2086
    apt-get $aptopts source --only-source "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)"
    mv "$(ls -d qt6-base-*/ | head -n1)" qtbase
    # The svg module is built when its sources can be had; without it the
    # program's art is rendered on the build machine instead.
    # shellcheck disable=SC2086
    if apt-get $aptopts source --only-source "qt6-svg=$(dpkg-query -W -f='${Version}' qt6-svg-dev)"; then
        mv "$(ls -d qt6-svg-*/ | head -n1)" qtsvg
    fi
fi

# Debian's qtbase sources leave out the Wintab header: the Windows plugin is
# built without Wintab tablets (pens still come through the pointer messages).
if [ ! -e qtbase/src/3rdparty/wintab/wintab.h ]; then
    sed -i 's/QT_CONFIG(tabletevent)/0/' qtbase/src/plugins/platforms/windows/*.cpp \
        qtbase/src/plugins/platforms/windows/*.h
    sed -i 's/CONDITION QT_FEATURE_tabletevent$/CONDITION QT_FEATURE_tabletevent AND EXISTS ${QtBase_SOURCE_DIR}\/src\/3rdparty\/wintab\/wintab.h/' \
        qtbase/src/plugins/platforms/windows/CMakeLists.txt \
        qtbase/src/plugins/platforms/direct2d/CMakeLists.txt
fi

toolchain=$here/mingw64.cmake
common="-G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=$prefix -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_WITH_PCH=OFF"

# shellcheck disable=SC2086
cmake -S qtbase -B build-qtbase $common \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF -DFEATURE_d3d12=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_sql_sqlite=OFF -DFEATURE_accessibility=ON
cmake --build build-qtbase --parallel "$jobs"
cmake --install build-qtbase

if [ -d qtsvg ]; then
# shellcheck disable=SC2086
cmake -S qtsvg -B build-qtsvg $common -DCMAKE_PREFIX_PATH="$prefix"
cmake --build build-qtsvg --parallel "$jobs"
cmake --install build-qtsvg
fi

touch "$prefix/.complete"
echo "$prefix"
