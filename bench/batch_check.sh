#!/usr/bin/env bash
# Batch checking: `talmiro-cli check` over a folder of 2,000 small interchanges and one of 10 large ones,
# with --jobs 1 and --jobs 2, beside a shell loop that starts the tool once per file. Prints wall and CPU
# time (user + system) and the peak resident memory of each.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TALMIRO_CLI_BENCH_BUILD:-$root/build-bench-cli}"
work="${TALMIRO_BATCH_BENCH_DIR:-/tmp/talmiro-batch-bench}"
cli="$build/cli/talmiro-cli"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMIRO_VIEWER=OFF -DTALMIRO_STANDARDS=OFF >/dev/null
cmake --build "$build" --target talmiro-cli -j2 >/dev/null
mkdir -p "$work"
source "$root/bench/orders_fixture.sh"

if [ ! -d "$work/small" ]; then
    mkdir -p "$work/small"
    generate "$work/small/seed.edi" 4
    for i in $(seq -w 1 2000); do cp "$work/small/seed.edi" "$work/small/orders-$i.edi"; done
    rm "$work/small/seed.edi"
fi
if [ ! -d "$work/large" ]; then
    mkdir -p "$work/large"
    generate "$work/large/seed.edi" $((20 * 1024))
    for i in $(seq -w 1 10); do cp "$work/large/seed.edi" "$work/large/orders-$i.edi"; done
    rm "$work/large/seed.edi"
fi

run() {
    local label=$1
    shift
    cat "$work"/small/* "$work"/large/* >/dev/null # warm the page cache
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
    awk -v l="$label" '{ printf "%-36s wall %7.2f s  cpu %7.2f s  peak RSS %6.1f MB\n", l, $1, $2 + $3, $4 / 1024 }' \
        "$work/time.txt"
}

for set in small large; do
    count=$(find "$work/$set" -type f | wc -l)
    mb=$(du -sm "$work/$set" | cut -f1)
    echo "$set: $count files, $mb MB"
    run "  shell loop, one process per file" bash -c "for f in '$work/$set'/*; do '$cli' check --standards '$work/std' \"\$f\"; done"
    run "  check --jobs 1 FOLDER" "$cli" check --jobs 1 --standards "$work/std" "$work/$set"
    run "  check --jobs 2 FOLDER" "$cli" check --jobs 2 --standards "$work/std" "$work/$set"
done
