#!/usr/bin/env bash
# Hostile inputs by hand: each is generated, given to talmiro-cli, and reported with the tool's exit code,
# its first line of output, wall time and peak resident memory. None may crash, hang or grow with the
# input. Uses the Release build of bench/cli_check.sh; the files go to $TALMIRO_HOSTILE_DIR (default
# /tmp/talmiro-hostile) and are deleted afterwards.
#   bench/hostile.sh [--keep]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TALMIRO_CLI_BENCH_BUILD:-$root/build-bench-cli}"
work="${TALMIRO_HOSTILE_DIR:-/tmp/talmiro-hostile}"
cli="$build/cli/talmiro-cli"
keep=0
[ "${1:-}" = "--keep" ] && keep=1

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALMIRO_VIEWER=OFF -DTALMIRO_STANDARDS=OFF >/dev/null
cmake --build "$build" --target talmiro-cli -j2 >/dev/null
rm -rf "$work"
mkdir -p "$work"
[ $keep -eq 1 ] || trap 'rm -rf "$work"' EXIT

# The ORDERS tables of the command-line benchmarks, in $work/std.
source "$root/bench/orders_fixture.sh"

# name, then the command; prints exit code, time, memory and the first line the tool wrote.
run() {
    local name=$1
    shift
    local rc=0
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1 || rc=$?
    local first
    first=$(head -c 300 "$work/out.txt" | head -n 1)
    # The figures are the last line; /usr/bin/time puts the command's failing status on a line before.
    read -r secs kb < <(tail -n 1 "$work/time.txt")
    printf '%-34s exit %s  %7.2f s  peak RSS %7.1f MB  %s\n' "$name" "$rc" "$secs" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" \
        "${first:0:140}"
}

head='UNA:+.? '"'"'UNB+UNOC:3+SENDER+RECIPIENT+200101:1200+1'"'"'UNH+1+ORDERS:D:96A:UN'"'"''

# 1 GB that is one segment without a terminator.
{ printf '%sBGM+220+' "$head"; head -c $((1024 * 1024 * 1024)) /dev/zero | tr '\0' 'A'; } >"$work/one-segment.edi"
run "1 GB, one segment, no terminator" "$cli" check --standards "$work/std" "$work/one-segment.edi"
rm -f "$work/one-segment.edi"

# A segment of 10 million components.
{ printf '%sBGM+220' "$head"; printf "'FTX+AAA+++"; head -c 10000000 /dev/zero | tr '\0' ':'; printf "'UNT+3+1'UNZ+1+1'"; } \
    >"$work/components.edi"
run "segment of 10 million components" "$cli" check --standards "$work/std" "$work/components.edi"
rm -f "$work/components.edi"

# UNA that declares the same character for two separators.
printf "UNA::.? 'UNB+UNOC:3+S+R+200101:1200+1'" >"$work/una.edi"
run "UNA with one character twice" "$cli" check --standards "$work/std" "$work/una.edi"

# A message table whose count claims 2^31 - 1 entries (the count after the 320-byte header).
mkdir -p "$work/bad-std/D96A"
cp "$work/std/D96A/"* "$work/bad-std/D96A/"
printf '\xff\xff\xff\x7f' | dd of="$work/bad-std/D96A/D96A.SDT" bs=1 seek=320 conv=notrunc status=none
printf '%sBGM+220'"'"'UNT+3+1'"'"'UNZ+1+1'"'" "$head" >"$work/small.edi"
run "segment table claiming 2^31 entries" "$cli" check --standards "$work/bad-std" "$work/small.edi"

# An archive whose entry claims nearly 4 GB unpacked (a zip bomb's header): 1 MB of zeros, its sizes rewritten.
python3 - "$work/bomb.zip" <<'EOF'
import struct, sys, zipfile
path = sys.argv[1]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("EDSD.96A", b"\0" * (1 << 20))
data = bytearray(open(path, "rb").read())
cd = data.rfind(b"PK\x01\x02")
struct.pack_into("<I", data, cd + 24, 0xF0000000)  # uncompressed size in the central directory
struct.pack_into("<I", data, 22, 0xF0000000)       # and in the local header
open(path, "wb").write(data)
EOF
run "archive entry claiming 3.75 GB" "$cli" import-untdid "$work/bomb.zip" --out "$work/imported"

# A code-list file of 64 MB and more is refused before it is read.
mkdir -p "$work/codes-std/D96A"
cp "$work/std/D96A/"* "$work/codes-std/D96A/"
{ printf 'EDIFACT CODE LISTS 1\n=1001\n'; head -c $((65 * 1024 * 1024)) /dev/zero | tr '\0' 'x'; printf '\tx\n'; } \
    >"$work/codes-std/D96A/CODES.CLT"
run "code-list file of 65 MB" "$cli" check --strict --standards "$work/codes-std" "$work/small.edi"
