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
        !/^[0-9]/ { next } # "Command exited with non-zero status 1" when a check warns
        { n++; cpu = $2 + $3; if (n == 1 || $1 < wall) wall = $1; if (n == 1 || cpu < best) best = cpu; if ($4 > rss) rss = $4 }
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
                --standards "$std" "$long" 2>&1 >/dev/null | awk '/I *refs/ { print $NF }' || true)
            echo "check${mode:+ $mode} instructions: $refs"
        done
    fi
done

# Implementation guidelines on the 50 MB interchange, against the D96A release of a build's standards folder
# (TALMIRO_CLI_BENCH_STANDARDS): check --strict with a guideline beside check --strict without one, plain
# check and wc -l. BENCH-ORDERS fits the interchange's messages, so every rule is checked and none broken;
# the example FENNICK-ORDERS breaks on every message (the cost of its warnings included). User CPU time,
# median of five, and cachegrind's instruction counts where valgrind is installed.
if [ -n "${TALMIRO_CLI_BENCH_STANDARDS:-}" ] && [ -f "$TALMIRO_CLI_BENCH_STANDARDS/D96A/ORDERS.MDT" ]; then
    gstd="$work/guideline-std"
    rm -rf "$gstd"
    mkdir -p "$gstd/guidelines"
    ln -s "$(cd "$TALMIRO_CLI_BENCH_STANDARDS" && pwd)/D96A" "$gstd/D96A"
    cp "$root/samples/guidelines/fennick_orders.gdf" "$gstd/guidelines/"
    cat >"$gstd/guidelines/bench_orders.gdf" <<'GDF'
GUIDELINE 'BENCH-ORDERS' 'Purchase order of the benchmark interchanges';
MESSAGE 'ORDERS' 'D' '96A' 'UN';
ELEMENT '7143' ADD ('SRV' = 'Own article number');
SEGMENT 'BGM';
  ELEMENT 'C002/1001' REQUIRED CODES ('220', '221');
  ELEMENT '1004' REQUIRED LENGTH (1:17);
  ELEMENT '1225' CODES ('9');
END;
SEGMENT 'DTM' MAX 5 QUALIFIER 'C507/2005';
  VARIANT '137' REQUIRED MAX 1; ELEMENT 'C507/2379' FIXED '102'; END;
  VARIANT '2', '64' OPTIONAL MAX 1; ELEMENT 'C507/2379' FIXED '102'; END;
END;
SEGMENT 'PAI' NOT USED; END;
SEGMENT 'FTX' MAX 2; ELEMENT '4451' CODES ('AAI', 'DEL'); END;
GROUP 'SG1' MAX 2 QUALIFIER 'C506/1153'; VARIANT 'CT' OPTIONAL MAX 1; END; END;
GROUP 'SG2' REQUIRED MAX 4 QUALIFIER '3035';
  VARIANT 'BY' REQUIRED MAX 1; ELEMENT 'C082/3055' FIXED '9'; END;
  VARIANT 'SU' REQUIRED MAX 1; ELEMENT 'C082/3055' FIXED '9'; ELEMENT 'C058' NOT USED; END;
  VARIANT 'DP' OPTIONAL MAX 1; END;
END;
SEGMENT 'SG2/SG3/RFF' QUALIFIER 'C506/1153'; VARIANT 'VA' OPTIONAL MAX 1; END; END;
GROUP 'SG8' NOT USED; END;
GROUP 'SG25' REQUIRED;
  ELEMENT 'C212/7140' REQUIRED LENGTH (8:14);
  ELEMENT 'C212/7143' CODES ('SRS');
END;
SEGMENT 'SG25/QTY' REQUIRED QUALIFIER 'C186/6063'; VARIANT '21' REQUIRED MAX 1; END; END;
GROUP 'SG25/SG28' QUALIFIER 'C509/5125'; VARIANT 'AAA' OPTIONAL MAX 1; END; END;
SEGMENT 'UNS'; ELEMENT '0081' FIXED 'S'; END;
END;
GDF
    "$cli" compile "$gstd/guidelines/bench_orders.gdf" "$gstd/guidelines/fennick_orders.gdf" >/dev/null
    file="$work/orders-50.edi"
    median_user() { # the median user CPU time of five runs, in ms
        for _ in 1 2 3 4 5; do
            /usr/bin/time -f "%U" -o "$work/user.txt" "$@" >/dev/null 2>&1 || true
            tail -n 1 "$work/user.txt" # after "Command exited with non-zero status" when a check warns
        done | sort -n | awk 'NR == 3 { printf "%.0f", $1 * 1000 }'
    }
    echo "guidelines on $(basename "$file") ($(($(stat -c %s "$file") / 1048576)) MB), user CPU, median of 5:"
    # wc -l takes less than the 10 ms /usr/bin/time can tell: its wall time instead.
    wc_ms=$(for _ in 1 2 3 4 5; do
        start=$(date +%s%N)
        wc -l "$file" >/dev/null
        echo $(($(date +%s%N) - start))
    done | sort -n | awk 'NR == 3 { printf "%.0f", $1 / 1000000 }')
    printf '  %-40s %6s ms wall\n' "wc -l" "$wc_ms"
    for mode in "" "--strict --no-guideline" "--strict --guideline BENCH-ORDERS" "--strict --guideline FENNICK-ORDERS"; do
        # shellcheck disable=SC2086 # the mode is several arguments
        printf '  %-40s %6s ms\n' "check${mode:+ $mode}" "$(median_user "$cli" check $mode --standards "$gstd" "$file")"
    done
    if command -v valgrind >/dev/null; then
        for mode in "" "--strict --no-guideline" "--strict --guideline BENCH-ORDERS"; do
            # shellcheck disable=SC2086
            refs=$(valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=/dev/null "$cli" check $mode \
                --standards "$gstd" "$file" 2>&1 >/dev/null | awk '/I *refs/ { print $NF }' || true)
            printf '  %-40s %s instructions\n' "check${mode:+ $mode}" "$refs"
        done
    fi
fi
