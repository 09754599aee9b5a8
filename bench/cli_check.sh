#!/usr/bin/env bash
# Throughput and peak memory of `talmiro-cli check`: compiles small ORDERS tables from their sources,
# generates interchanges of 10, 50 and 200 MB, and times the check of each (best of 3), with the resident
# memory from /usr/bin/time. When the engine benchmark has left its interchange and tables in
# /tmp/talmiro-bench, the check also runs on that file and the engine benchmark itself for comparison.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TALMIRO_CLI_BENCH_BUILD:-$root/build-bench-cli}"
work="${TALMIRO_CLI_BENCH_DIR:-/tmp/talmiro-cli-bench}"
cli="$build/cli/talmiro-cli"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMIRO_VIEWER=OFF -DTALMIRO_STANDARDS=OFF >/dev/null
cmake --build "$build" --target talmiro-cli -j2 >/dev/null

source "$root/bench/orders_fixture.sh"

# Prints the size, the best wall and CPU (user + system) times of three runs and the peak resident memory;
# on a shared machine the CPU time is the steadier figure.
measure() {
    local file=$1 std=$2
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %U %S %M" -a -o "$work/time.txt" "$cli" check --standards "$std" "$file" >/dev/null
    done
    local bytes
    bytes=$(stat -c %s "$file")
    awk -v f="$(basename "$file")" -v b="$bytes" '
        { cpu = $2 + $3; if (NR == 1 || $1 < wall) wall = $1; if (NR == 1 || cpu < best) best = cpu; if ($4 > rss) rss = $4 }
        END {
            mb = b / 1048576
            printf "check %-12s %6.1f MB  wall %6.0f ms (%5.0f MB/s)  cpu %6.0f ms (%5.0f MB/s)  peak RSS %5.1f MB\n",
                f, mb, wall * 1000, mb / wall, best * 1000, (best > 0 ? mb / best : 0), rss / 1024
        }' "$work/time.txt"
    rm -f "$work/time.txt"
}

for size in 10 50 200; do
    [ -f "$work/orders-$size.edi" ] || generate "$work/orders-$size.edi" "$((size * 1024))"
    cat "$work/orders-$size.edi" >/dev/null # warm the page cache
    measure "$work/orders-$size.edi" "$work/std"
done

# The engine benchmark's own interchange and tables, when present.
if [ -f /tmp/talmiro-bench/orders.edi ] && [ -f /tmp/talmiro-bench/tables/ORDERS.MDT ]; then
    mkdir -p "$work/engine-std/D96A"
    echo "SEGMENTS END;" >"$work/engine-std/D96A/D96A.sdf"
    cp /tmp/talmiro-bench/tables/ORDERS.MDT "$work/engine-std/D96A/ORDERS.MDT"
    cat /tmp/talmiro-bench/orders.edi >/dev/null
    measure /tmp/talmiro-bench/orders.edi "$work/engine-std"
fi
