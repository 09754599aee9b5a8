#!/usr/bin/env bash
# Throughput and peak memory of `talmiro-cli export` (CSV, JSON, XML) and `format --one-per-line` beside
# `check` and `wc -l` on the interchanges of cli_check.sh (10 and 200 MB; best of 3 CPU times, peak resident
# memory from /usr/bin/time). TALMIRO_CLI names a built talmiro-cli to use instead of building one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TALMIRO_CLI_BENCH_BUILD:-$root/build-bench-cli}"
work="${TALMIRO_CLI_BENCH_DIR:-/tmp/talmiro-cli-bench}"
cli="${TALMIRO_CLI:-$build/cli/talmiro-cli}"
if [ -z "${TALMIRO_CLI:-}" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMIRO_VIEWER=OFF -DTALMIRO_STANDARDS=OFF >/dev/null
    cmake --build "$build" --target talmiro-cli -j2 >/dev/null
fi

source "$root/bench/orders_fixture.sh"

# what FILE COMMAND...: the best CPU time (user + system) of three runs, and the peak resident memory.
measure() {
    local what=$1 file=$2
    shift 2
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %U %S %M" -a -o "$work/time.txt" "$@" >/dev/null
    done
    awk -v w="$what" -v f="$(basename "$file")" -v b="$(stat -c %s "$file")" '
        { cpu = $2 + $3; if (NR == 1 || cpu < best) best = cpu; if ($4 > rss) rss = $4 }
        END {
            mb = b / 1048576
            printf "%-22s %-14s %6.1f MB  cpu %7.0f ms (%6.0f MB/s)  peak RSS %6.1f MB\n",
                w, f, mb, best * 1000, (best > 0 ? mb / best : 0), rss / 1024
        }' "$work/time.txt"
    rm -f "$work/time.txt"
}

for size in 10 200; do
    file="$work/orders-$size.edi"
    [ -f "$file" ] || generate "$file" "$((size * 1024))"
    cat "$file" >/dev/null # warm the page cache
    measure "wc -l" "$file" wc -l "$file"
    measure "check" "$file" "$cli" check --standards "$work/std" "$file"
    for to in csv json xml; do
        measure "export --to $to" "$file" "$cli" export --standards "$work/std" --to "$to" "$file"
    done
    measure "format --one-per-line" "$file" "$cli" format --one-per-line "$file"
done
