#!/bin/sh
# Rebuilds zqHelp.chm from the pages beside this script.
# Needs chmcmd (Debian package fp-utils) and iconv.
# Pages are compiled with their table of contents (zqHelp.hhc) and index
# (zqHelp.hhk).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

command -v chmcmd >/dev/null 2>&1 || {
    echo "build-chm.sh: chmcmd not found (apt-get install fp-utils)" >&2
    exit 1
}

# Every page, style sheet and picture must be listed in the project,
# or the compiled file would silently lack it.
listed=$(sed -n '/^\[FILES\]/,/^\[/p' zqHelp.hhp | tr -d '\r' | grep -v -e '^\[' -e '^$' | LC_ALL=C sort)
present=$(find . -type f \( -name '*.htm' -o -name '*.html' -o -name '*.css' \
    -o -name '*.png' -o -name '*.gif' -o -name '*.jpg' \) | sed 's|^\./||' | LC_ALL=C sort)
if [ "$listed" != "$present" ]; then
    echo "build-chm.sh: [FILES] in zqHelp.hhp does not match the files present" >&2
    echo "listed:  $(echo $listed)" >&2
    echo "present: $(echo $present)" >&2
    exit 1
fi

# The project, the table of contents and the index are kept in UTF-8; the
# compiler copies their bytes as they are, and a Japanese help file is read
# with code page 932. So the file is compiled from a scratch copy with those
# three converted, under their own names.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in $listed; do
    mkdir -p "$work/$(dirname "$f")"
    cp "$f" "$work/$f"
done
for f in zqHelp.hhp zqHelp.hhc zqHelp.hhk; do
    iconv -f UTF-8 -t CP932 "$f" > "$work/$f"
done

(cd "$work" && chmcmd --no-html-scan zqHelp.hhp >/dev/null)
test -s "$work/zqHelp.chm" || { echo "build-chm.sh: chmcmd wrote no zqHelp.chm" >&2; exit 1; }
cp "$work/zqHelp.chm" zqHelp.chm
echo "build-chm.sh: wrote $here/zqHelp.chm"
