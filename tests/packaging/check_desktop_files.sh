#!/usr/bin/env bash
# The files the desktop reads, checked by the desktop's own validators. A validator that is not installed
# skips its check (exit 77).
# Usage: check_desktop_files.sh desktop-entry FILE | appstream FILE | mime MIME_XML MIME_LOOKUP
set -euo pipefail
skip() {
    echo "$1 is not installed: skipped"
    exit 77
}

case $1 in
desktop-entry)
    command -v desktop-file-validate >/dev/null || skip desktop-file-validate
    # Hints are advice; errors and warnings fail.
    out=$(desktop-file-validate "$2" 2>&1 | grep -v ': hint: ' || true)
    [ -z "$out" ] || { echo "FAIL: $out" >&2; exit 1; }
    grep -q '^MimeType=application/edifact;$' "$2" || { echo "FAIL: $2 does not open application/edifact" >&2; exit 1; }
    echo "desktop entry valid"
    ;;
appstream)
    command -v appstreamcli >/dev/null || skip appstreamcli
    appstreamcli validate --no-net --explain "$2"
    ;;
mime)
    command -v update-mime-database >/dev/null || skip update-mime-database
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir -p "$tmp/share/mime/packages" "$tmp/files"
    cp "$2" "$tmp/share/mime/packages/talmiro.xml"
    update-mime-database "$tmp/share/mime" >/dev/null 2>"$tmp/warnings" || { cat "$tmp/warnings" >&2; exit 1; }
    # Warnings about the package file (not the note that the folder is not in XDG_DATA_DIRS) fail.
    if grep -q 'talmiro.xml' "$tmp/warnings"; then cat "$tmp/warnings" >&2; exit 1; fi
    cd "$tmp/files"
    : >orders.edi
    : >ORDERS.EDI
    : >orders.edifact
    printf "UNA:+.? 'UNB+UNOC:3+SENDER+RECEIVER+200115:1030+1'" >with-advice
    printf "UNB+UNOC:3+SENDER+RECEIVER+200115:1030+1'" >with-header.dat
    printf 'Dear UNB,\nnot an interchange\n' >letter.txt
    printf 'UNKNOWN\n' >unknown
    # The database of this folder first, then the system's for the types ours builds on.
    XDG_DATA_DIRS="$tmp/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" XDG_DATA_HOME="$tmp/none" \
        "$3" orders.edi ORDERS.EDI orders.edifact with-advice with-header.dat letter.txt unknown >"$tmp/found"
    expected="orders.edi application/edifact text/plain
ORDERS.EDI application/edifact text/plain
orders.edifact application/edifact text/plain
with-advice application/edifact text/plain
with-header.dat application/edifact text/plain
letter.txt text/plain application/octet-stream
unknown text/plain application/octet-stream"
    diff -u --label expected --label found <(echo "$expected") "$tmp/found"
    echo "MIME type found by name and by content"
    ;;
*)
    echo "usage: $0 desktop-entry FILE | appstream FILE | mime MIME_XML MIME_LOOKUP" >&2
    exit 2
    ;;
esac
