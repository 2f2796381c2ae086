#!/bin/sh
# Printing from the Windows build under Wine, against a real CUPS queue:
# a scheduler of its own with a file queue, which Wine takes as the default
# printer of a fresh prefix. The stopped and failed prints of
# tst_batch_print_win must leave the queue untouched and the complete one
# reach it once, with the pages the program counted.
# Called by test-windows.sh: test-windows-print.sh <wine> <build folder>,
# with DISPLAY, WINEPATH and QT_PLUGIN_PATH set.
set -eu
wine=$1
win=$2
exe=$(find "$win" -maxdepth 2 -name tst_batch_print_win.exe | head -n 1)
[ -n "$exe" ] || { echo "test-windows-print: tst_batch_print_win.exe was not built" >&2; exit 1; }
if [ ! -x /usr/sbin/cupsd ] || ! command -v lpadmin >/dev/null || ! command -v pdfinfo >/dev/null; then
    echo "SKIP tst_batch_print_win on a CUPS queue: cupsd, lpadmin or pdfinfo is missing"
    exit 0
fi
d=$(mktemp -d /tmp/kanaroll-wincups-XXXXXX)
cupsd=
cleanup() {
    [ -z "$cupsd" ] || kill "$cupsd" 2>/dev/null || true
    WINEPREFIX=$d/prefix wineserver -k 2>/dev/null || true
    rm -rf "$d"
}
trap cleanup EXIT INT TERM
mkdir -p "$d/spool" "$d/cache" "$d/state" "$d/tmp" "$d/log" "$d/out"
# The filters run as the scheduler's own user.
chmod 7777 "$d/tmp" "$d/out"
chmod 755 "$d"
cat >"$d/cupsd.conf" <<EOF
LogLevel warn
Listen $d/cups.sock
Browsing No
WebInterface No
DefaultAuthType Basic
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$d/cups-files.conf" <<EOF
FileDevice Yes
SystemGroup root
ServerRoot $d
RequestRoot $d/spool
CacheDir $d/cache
StateDir $d/state
TempDir $d/tmp
ErrorLog $d/log/error_log
AccessLog $d/log/access_log
PageLog $d/log/page_log
EOF
export CUPS_SERVER=$d/cups.sock
/usr/sbin/cupsd -f -c "$d/cupsd.conf" -s "$d/cups-files.conf" &
cupsd=$!
i=0
until lpstat -r 2>/dev/null | grep -q "is running"; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "FAIL tst_batch_print_win: cupsd did not start"; cat "$d/log/error_log" 2>/dev/null; exit 1; }
    sleep 0.1
done
out=$d/out/out.pdf
lpadmin -p K -v "file://$out" -m lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd -E 2>/dev/null \
    || lpadmin -p K -v "file://$out" -P /usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd -E 2>/dev/null
lpadmin -d K

export WINEPREFIX=$d/prefix
wineboot -i >/dev/null 2>&1 || true
log=$win/tst_batch_print_win.cups.txt
rm -f "$log"
# Wine's PostScript driver breaks on the OpenType fonts its font list may
# give the toolkit's default, so the test names a TrueType one.
if ! (cd "$(dirname "$exe")" && KANAROLL_WIN_PRINTER=1 KANAROLL_WIN_PRINT_FONT=IPAPGothic QT_QPA_PLATFORM=windows \
        "$wine" "$exe" -o "Z:$log,txt"); then
    cat "$log" 2>/dev/null || true
    echo "FAIL tst_batch_print_win on a CUPS queue"
    exit 1
fi
grep '^Totals' "$log" || true
pages=$(sed -n 's/.*printed pages: \([0-9]*\).*/\1/p' "$log")
i=0
while [ ! -s "$out" ] || [ -n "$(lpstat -o)" ]; do
    i=$((i + 1))
    [ $i -lt 600 ] || { echo "FAIL tst_batch_print_win: the job did not come out"; lpstat -l -o; exit 1; }
    sleep 0.1
done
jobs=$(lpstat -W all -o | wc -l)
got=$(pdfinfo "$out" | sed -n 's/^Pages: *//p')
if [ "$jobs" -ne 1 ] || [ -z "$pages" ] || [ "$got" != "$pages" ]; then
    echo "FAIL tst_batch_print_win: $jobs jobs reached the queue (1 wanted), $got pages printed ($pages counted)"
    lpstat -W all -o
    exit 1
fi
echo "PASS tst_batch_print_win on a CUPS queue: 1 job of $got pages, nothing from the stopped prints"
