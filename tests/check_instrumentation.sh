#!/usr/bin/env bash
# Checks that every object of the given static libraries was compiled with AddressSanitizer and, with
# --coverage, with libFuzzer's coverage feedback, and that the libraries carry UndefinedBehaviorSanitizer
# checks: a library built without them would hide its faults from the sanitizer tests and the fuzzer.
#   check_instrumentation.sh [--coverage] LIBRARY.a...
set -euo pipefail
coverage=0
if [ "${1:-}" = "--coverage" ]; then
  coverage=1
  shift
fi
status=0
for lib in "$@"; do
  symbols=$(nm -A "$lib" 2>/dev/null)
  for object in $(ar t "$lib"); do
    mine=$(grep -F "$(basename "$lib"):$object:" <<<"$symbols" || true)
    if ! grep -q ' U __asan_' <<<"$mine"; then
      echo "$lib: $object is not compiled with AddressSanitizer"
      status=1
    fi
    if [ $coverage -eq 1 ] && ! grep -q ' U __sanitizer_cov_' <<<"$mine"; then
      echo "$lib: $object has no coverage feedback"
      status=1
    fi
  done
  if ! grep -q ' U __ubsan_handle_' <<<"$symbols"; then
    echo "$lib: no UndefinedBehaviorSanitizer checks"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$# libraries instrumented"
exit $status
