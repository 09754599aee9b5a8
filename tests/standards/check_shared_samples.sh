#!/usr/bin/env bash
# Checks every interchange of the shared sample collection against the bundled tables. Files may be
# invalid; what must never happen is a crash, a hang or an unexplained exit code.
#   check_shared_samples.sh TALMIRO_CLI STANDARDS_DIR SAMPLES_DIR
set -u
cli="$1" standards="$2" samples="$3"
if [ ! -f "$samples/MANIFEST.tsv" ]; then
  echo "no sample collection at $samples: skipped"
  exit 77
fi
ok=0 invalid=0 bad=0
while IFS=$'\t' read -r path _; do
  [ "$path" = "local_path" ] && continue
  [ -f "$samples/$path" ] || continue
  out=$(timeout 30 "$cli" check --standards "$standards" "$samples/$path" 2>&1)
  rc=$?
  case $rc in
    0) ok=$((ok + 1)) ;;
    1) invalid=$((invalid + 1)) ;;
    *) bad=$((bad + 1)); echo "exit $rc: $path"; echo "$out" | head -3 ;;
  esac
done < "$samples/MANIFEST.tsv"
echo "$ok valid, $invalid invalid, $bad crashed, hung or failed otherwise"
[ "$bad" -eq 0 ] && [ "$ok" -gt 0 ]
