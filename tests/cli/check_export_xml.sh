#!/usr/bin/env bash
# Every sample that reads exports as XML that a real XML parser (xmllint) takes as well-formed UTF-8, and as
# CSV whose rows all have the header's twelve columns (python3's csv module). Skipped without xmllint.
#   check_export_xml.sh talmiro-cli STANDARDS SAMPLE_DIR...
set -uo pipefail
cli="$1" standards="$2"
shift 2
command -v xmllint >/dev/null || { echo "xmllint not installed (libxml2-utils)"; exit 77; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
files=0 exported=0 status=0
while IFS= read -r -d '' f; do
  files=$((files + 1))
  "$cli" export "$f" --to xml --names --standards "$standards" -o "$out/x.xml" 2>/dev/null || continue
  exported=$((exported + 1))
  if ! xmllint --noout --encode UTF-8 "$out/x.xml"; then
    echo "not well-formed: $f"
    status=1
  fi
  "$cli" export "$f" --to csv --standards "$standards" -o "$out/x.csv" || { echo "no CSV: $f"; status=1; }
  python3 - "$out/x.csv" "$f" <<'PY' || status=1
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f))
bad = [i for i, r in enumerate(rows) if len(r) != 12]
if not rows or bad:
    print(f"CSV rows without 12 columns in {sys.argv[2]}: {bad[:5]}")
    sys.exit(1)
PY
done < <(find "$@" -type f ! -name '*.tsv' ! -name '*.md' -print0 2>/dev/null | sort -z)
echo "$files samples, $exported exported"
[ "$exported" -gt 0 ] || status=1
exit $status
