#!/usr/bin/env bash
# The example interchanges of the service syntax facts (syntax versions 3 and 4, CONTRL) check clean,
# strict checks included, against the bundled tables and the service message definitions.
#   check_syntax_samples.sh TALMIRO_CLI STANDARDS_DIR SAMPLES_DIR
set -u
cli="$1" standards="$2" samples="$3"
shopt -s nullglob
files=("$samples"/*.edi)
if [ ${#files[@]} -eq 0 ]; then
  echo "no syntax samples at $samples: skipped"
  exit 77
fi
"$cli" check --strict --standards "$standards" "${files[@]}"
