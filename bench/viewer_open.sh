#!/usr/bin/env bash
# Opening large interchanges in the viewer: builds the viewer benchmark in Release and runs it on generated
# interchanges of 20, 200 and 2,000 MB (or the sizes given, in MB), each beside `wc -l` and
# `talmiro-cli check` on the same file. A file is generated when its turn comes and deleted afterwards, so
# the largest needs its 2 GB of disk only while it is measured.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TALMIRO_VIEWER_BENCH_BUILD:-$root/build-bench-viewer}"
work="${TALMIRO_VIEWER_BENCH_DIR:-/tmp/talmiro-viewer-bench}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMIRO_STANDARDS=OFF -DTALMIRO_TESTS=OFF >/dev/null
cmake --build "$build" --target talmiro_viewer_bench -j2 >/dev/null
mkdir -p "$work"
trap 'rm -f "$work"/bench-*MB.edi' EXIT
"$build/bench/viewer/talmiro_viewer_bench" "$work" "$@" 2> >(grep -v -e '^QStandardPaths' -e 'propagateSizeHints' >&2)
