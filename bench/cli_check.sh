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
    shift 2
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %U %S %M" -a -o "$work/time.txt" "$cli" check "$@" --standards "$std" "$file" >/dev/null || true
    done
    local bytes
    bytes=$(stat -c %s "$file")
    awk -v f="$(basename "$file")" -v b="$bytes" -v m="${1:+ $1}" '
        { cpu = $2 + $3; if (NR == 1 || $1 < wall) wall = $1; if (NR == 1 || cpu < best) best = cpu; if ($4 > rss) rss = $4 }
        END {
            mb = b / 1048576
            printf "check%-9s %-12s %6.1f MB  wall %6.0f ms (%5.0f MB/s)  cpu %6.0f ms (%5.0f MB/s)  peak RSS %5.1f MB\n",
                m, f, mb, wall * 1000, mb / wall, best * 1000, (best > 0 ? mb / best : 0), rss / 1024
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

# Strict checks beside the plain check and wc -l on one long file: 10 ORDERS messages of 21,597 lines each
# (23 MB, 1.08 million segments), against the tables above with their code lists, and against the D96A
# release of a build's standards folder when TALMIRO_CLI_BENCH_STANDARDS names one. With valgrind
# installed, cachegrind's instruction counts too: the steadier figure on a shared machine.
long="$work/orders-long.edi"
[ -f "$long" ] || generate "$long" 0 21597 10
cat "$long" >/dev/null
best=""
for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    wc -l "$long" >/dev/null
    ns=$(($(date +%s%N) - start))
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
done
echo "wc -l $(basename "$long"): $((best / 1000000)) ms"
for std in "$work/std" ${TALMIRO_CLI_BENCH_STANDARDS:+"$TALMIRO_CLI_BENCH_STANDARDS"}; do
    echo "tables: $std"
    measure "$long" "$std"
    measure "$long" "$std" --strict
    if command -v valgrind >/dev/null; then
        for mode in "" --strict; do
            refs=$(valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null "$cli" check $mode \
                --standards "$std" "$long" 2>&1 >/dev/null | awk '/I *refs/ { print $NF }')
            echo "check${mode:+ $mode} instructions: $refs"
        done
    fi
done
