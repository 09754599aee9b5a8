#!/usr/bin/env bash
# An installation into a staging folder, as the package has it: the layout, the programs finding their
# standards through the user's or the system's TALMIRO.INI, and talmiro-generate-standards making those
# standards from the archives (on a few of them, to stay quick), keeping the old ones when it fails.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION APP_ID
set -euo pipefail
build=$1 source=$2 version=$3 app_id=$4

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect_file() { [ -f "$1" ] || fail "missing $1"; }

DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 || {
    cat "$tmp/install.log" >&2
    exit 1
}
root=$tmp/root
share=$root/usr/share

# --- Layout ---
for f in usr/bin/talmiro-cli etc/talmiro/TALMIRO.INI usr/share/talmiro/talmiro-generate-standards \
    usr/share/talmiro/untdid/LICENAGR.TXT usr/share/talmiro/untdid/SOURCES.tsv \
    usr/share/man/man1/talmiro.1.gz usr/share/man/man1/talmiro-cli.1.gz \
    usr/share/bash-completion/completions/talmiro-cli "usr/share/applications/$app_id.desktop" \
    "usr/share/metainfo/$app_id.metainfo.xml" usr/share/mime/packages/talmiro.xml \
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg" usr/share/doc/talmiro/copyright \
    usr/share/doc/talmiro/changelog.gz; do
    expect_file "$root/$f"
done
[ ! -f "$build/viewer/talmiro" ] || expect_file "$root/usr/bin/talmiro"
for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x$size/apps/$app_id.png
    expect_file "$png"
    # The PNG header names the picture's width and height.
    side="0 0 $((size >> 8)) $((size & 255))"
    [ "$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | tr -s ' ')" = " $side $side" ] ||
        fail "$png is not ${size}x$size"
done
[ -x "$share/talmiro/talmiro-generate-standards" ] || fail "talmiro-generate-standards is not executable"

# Every archive exactly as the UN published it, and nothing generated from them.
for archive in "$source"/standards/untdid/d*.zip; do
    cmp -s "$archive" "$share/talmiro/untdid/$(basename "$archive")" || fail "$(basename "$archive") differs"
done
[ "$(ls "$share/talmiro/untdid" | wc -l)" = "$(ls "$source/standards/untdid" | wc -l)" ] ||
    fail "share/talmiro/untdid holds other files than standards/untdid"
generated=$(find "$root" \( -iname '*.SDT' -o -iname '*.MDT' -o -iname '*.sdf' -o -iname '*.mdf' \) \
    ! -path "$share/talmiro/service/*")
[ -z "$generated" ] || fail "generated definitions installed: $generated"
for sample in "$source"/samples/*.edi; do
    cmp -s "$sample" "$share/doc/talmiro/examples/$(basename "$sample")" || fail "$(basename "$sample") missing"
done
for sample in "$source"/samples/guidelines/*; do
    case $sample in *.gdf) copy=$share/talmiro/guidelines ;; *) copy=$share/doc/talmiro/examples/guidelines ;; esac
    cmp -s "$sample" "$copy/$(basename "$sample")" || fail "$(basename "$sample") missing"
done
grep -qx 'BASEDIR=/var/lib/talmiro/standards' "$root/etc/talmiro/TALMIRO.INI" ||
    fail "/etc/talmiro/TALMIRO.INI does not point at /var/lib/talmiro/standards"
grep -q '^out=/var/lib/talmiro/standards$' "$share/talmiro/talmiro-generate-standards" ||
    fail "talmiro-generate-standards does not write /var/lib/talmiro/standards"
zcat "$share/doc/talmiro/changelog.gz" | head -1 | grep -q "^talmiro ($version) " || fail "changelog is not at $version"
grep -q 'LICENAGR' "$share/doc/talmiro/copyright" || fail "copyright lacks the UN licence"
grep -qx 'License: Apache-2.0' "$share/doc/talmiro/copyright" || fail "copyright does not name Apache-2.0"
grep -q '<project_license>Apache-2.0</project_license>' "$share/metainfo/$app_id.metainfo.xml" ||
    fail "the AppStream data does not name Apache-2.0"

cli=$root/usr/bin/talmiro-cli
[ "$("$cli" --version)" = "talmiro-cli $version" ] || fail "talmiro-cli --version"
if [ -f "$root/usr/bin/talmiro" ]; then
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/talmiro" --version)" = "talmiro $version" ] ||
        fail "talmiro --version"
fi

# --- Another prefix keeps its standards below it and leaves /etc alone ---
DESTDIR=$tmp/opt cmake --install "$build" --prefix /opt/talmiro >"$tmp/install-opt.log" 2>&1 || {
    cat "$tmp/install-opt.log" >&2
    exit 1
}
grep -q '^out=/opt/talmiro/var/lib/talmiro/standards$' "$tmp/opt/opt/talmiro/share/talmiro/talmiro-generate-standards" ||
    fail "a copy in /opt/talmiro does not generate its standards below /opt/talmiro"
[ -z "$(find "$tmp/opt" -name TALMIRO.INI)" ] || fail "a copy in /opt/talmiro installed a TALMIRO.INI"
rm -rf "$tmp/opt"

# --- Generating the standards ---
gen=$share/talmiro/talmiro-generate-standards
archives=$tmp/archives
mkdir "$archives"
cp "$share/talmiro/untdid/d96a.zip" "$share/talmiro/untdid/d01b.zip" "$share/talmiro/untdid/SOURCES.tsv" "$archives/"
out="$tmp/var lib/standards" # a blank in the path, as a user may have
if ! "$gen" --archives "$archives" --out "$out" --config "$tmp/home/cfg/talmiro/TALMIRO.INI" --jobs 2 \
    >"$tmp/gen.log" 2>&1; then
    cat "$tmp/gen.log" >&2
    fail "talmiro-generate-standards failed"
fi
for release in D96A D01B; do
    expect_file "$out/$release/$release.SDT"
    expect_file "$out/$release/ORDERS.MDT"
done
# The service messages, written by hand, come with the releases.
services=$(find "$share/talmiro/service" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | wc -l)
for dir in "$share"/talmiro/service/*/; do
    [ -d "$dir" ] && expect_file "$out/$(basename "$dir")/CONTRL.MDT"
done
grep -q "$((2 + services)) standards generated in $out" "$tmp/gen.log" || fail "no summary: $(cat "$tmp/gen.log")"
for gdf in "$share"/talmiro/guidelines/*.gdf; do
    expect_file "$out/guidelines/$(basename "$gdf" .gdf).GDT"
done
"$gen" --archives "$archives" --out "$out" >"$tmp/gen.log" 2>&1 && grep -q "up to date" "$tmp/gen.log" ||
    fail "a second run did not find the standards up to date: $(cat "$tmp/gen.log")"

# The installed programs find them through the user's configuration, XDG_CONFIG_HOME or ~/.config.
examples=$share/doc/talmiro/examples
XDG_CONFIG_HOME=$tmp/home/cfg HOME=$tmp/nohome "$cli" check "$examples"/*.edi >"$tmp/check.log" 2>&1 ||
    fail "check through \$XDG_CONFIG_HOME/talmiro/TALMIRO.INI: $(cat "$tmp/check.log")"
mkdir -p "$tmp/home/.config"
cp -R "$tmp/home/cfg/talmiro" "$tmp/home/.config/"
env -u XDG_CONFIG_HOME HOME=$tmp/home "$cli" check "$examples/d96a_orders.edi" >"$tmp/check.log" 2>&1 ||
    fail "check through ~/.config/talmiro/TALMIRO.INI: $(cat "$tmp/check.log")"
# The system's file as installed, comments and all, with the test's base directory.
mkdir -p "$tmp/sys/talmiro"
sed "s|^BASEDIR=.*|BASEDIR=$out|" "$root/etc/talmiro/TALMIRO.INI" >"$tmp/sys/talmiro/TALMIRO.INI"
XDG_CONFIG_HOME=$tmp/sys "$cli" check "$examples/d01b_orders.edi" >"$tmp/check.log" 2>&1 ||
    fail "check through the installed TALMIRO.INI: $(cat "$tmp/check.log")"
# The installed example guideline is chosen by its association code: its own code is no warning.
XDG_CONFIG_HOME=$tmp/home/cfg "$cli" check --strict "$examples/guidelines/fennick_orders_ok.edi" >"$tmp/check.log" 2>&1 ||
    fail "check --strict with the installed guideline: $(cat "$tmp/check.log")"
# Without any configuration the message tables are not found.
if XDG_CONFIG_HOME=$tmp/none HOME=$tmp/none "$cli" check "$examples/d96a_orders.edi" >/dev/null 2>&1 &&
    [ ! -f /etc/talmiro/TALMIRO.INI ]; then
    fail "check succeeded without standards"
fi

# Hand-written service definitions join the standards, segment sources compiled before messages.
mkdir -p "$tmp/service/SVC" "$tmp/service/D96A"
cat >"$tmp/service/SVC/SVC.sdf" <<'EOF'
SEGMENTS
SEGMENT 'UNH' DESCRIPTION 'MESSAGE HEADER';
  FIELD '0062' ALNUM (1:14) DESCRIPTION 'MESSAGE REFERENCE NUMBER';
END;
SEGMENT 'UNT' DESCRIPTION 'MESSAGE TRAILER';
  FIELD '0074' NUMERIC (1:6) DESCRIPTION 'NUMBER OF SEGMENTS IN THE MESSAGE';
END;
END;
EOF
cat >"$tmp/service/SVC/ZZZTST.mdf" <<'EOF'
MESSAGE 'ZZZTST'
IDENTIFICATION 65 = 'ZZZTST', 52 = 'D', 54 = 'SVC', 51 = 'UN'
SEGMENTS 'SVC'
MEMO ('Test message');
STRUCTURE
  SEGMENT 'UNH' MANDATORY (1);
  SEGMENT 'UNT' MANDATORY (1);
END;
EOF
# A folder named after a release adds to it.
cat >"$tmp/service/D96A/ZZZTST.mdf" <<'EOF'
MESSAGE 'ZZZTST'
IDENTIFICATION 65 = 'ZZZTST', 52 = 'D', 54 = '96A', 51 = 'UN'
SEGMENTS 'D96A'
MEMO ('Test message');
STRUCTURE
  SEGMENT 'UNH' MANDATORY (1);
  SEGMENT 'UNT' MANDATORY (1);
END;
EOF
if "$gen" --archives "$archives" --service "$tmp/service" --out "$out" --quiet >"$tmp/gen.log" 2>&1; then
    expect_file "$out/SVC/SVC.SDT"
    expect_file "$out/SVC/ZZZTST.MDT"
    expect_file "$out/D96A/ZZZTST.MDT"
    expect_file "$out/D96A/ORDERS.MDT"
    [ ! -s "$tmp/gen.log" ] || fail "--quiet printed: $(cat "$tmp/gen.log")"
else
    fail "service definitions: $(cat "$tmp/gen.log")"
fi

# A failure leaves the previous standards as they were.
stamp=$(cat "$out/.generated")
printf 'broken' >"$tmp/service/SVC/ZZZTST.mdf"
if "$gen" --archives "$archives" --service "$tmp/service" --out "$out" >"$tmp/gen.log" 2>&1; then
    fail "a broken service definition was accepted"
fi
grep -q "the service definitions of SVC failed" "$tmp/gen.log" || fail "no clear error: $(cat "$tmp/gen.log")"
[ "$(cat "$out/.generated")" = "$stamp" ] && [ -f "$out/SVC/ZZZTST.MDT" ] || fail "a failed run changed $out"

# The administrator's guidelines and partner file join the shipped ones, a source of the same name
# replacing the shipped one; a broken one fails the run at its line and changes nothing.
mkdir "$tmp/own"
sed "s/^NOTE '.*';/NOTE 'Our own edition.';/" "$share/talmiro/guidelines/fennick_orders.gdf" >"$tmp/own/fennick_orders.gdf"
printf '[LARKSPUR]\nguidelines = LARKSPUR-IFTMIN\n' >"$tmp/own/partners.ini"
shipped=(--guidelines "$share/talmiro/guidelines")
if "$gen" --archives "$archives" --out "$out" "${shipped[@]}" --guidelines "$tmp/own" >"$tmp/gen.log" 2>&1; then
    cmp -s "$tmp/own/partners.ini" "$out/partners.ini" || fail "partners.ini not installed"
    "$cli" guideline doc FENNICK-ORDERS --standards "$out" >"$tmp/doc.md" 2>&1 && grep -q 'Our own edition' "$tmp/doc.md" ||
        fail "the administrator's guideline did not replace the shipped one"
else
    fail "the administrator's guidelines: $(cat "$tmp/gen.log")"
fi
stamp=$(cat "$out/.generated")
printf "SEGMENT 'XYZ'; END;\n" >>"$tmp/own/fennick_orders.gdf"
if "$gen" --archives "$archives" --out "$out" "${shipped[@]}" --guidelines "$tmp/own" >"$tmp/gen.log" 2>&1; then
    fail "a broken guideline was accepted"
fi
grep -q "^    $tmp/own/fennick_orders.gdf:[0-9]*:[0-9]*: error: " "$tmp/gen.log" || fail "no clear error: $(cat "$tmp/gen.log")"
[ "$(cat "$out/.generated")" = "$stamp" ] || fail "a broken guideline changed $out"
# Without the administrator's folder the partner file they put in place stays.
"$gen" --archives "$archives" --out "$out" "${shipped[@]}" --quiet >"$tmp/gen.log" 2>&1 &&
    [ -f "$out/partners.ini" ] || fail "a new run lost partners.ini: $(cat "$tmp/gen.log")"
stamp=$(cat "$out/.generated")

cp "$archives/d96a.zip" "$tmp/d96a.zip"
printf 'x' | dd of="$archives/d96a.zip" bs=1 seek=1000 conv=notrunc 2>/dev/null
if "$gen" --archives "$archives" --out "$out" >"$tmp/gen.log" 2>&1; then fail "a damaged archive was accepted"; fi
grep -q "d96a.zip is damaged" "$tmp/gen.log" || fail "no clear error: $(cat "$tmp/gen.log")"

# An archive that does not import (no list of sums to catch it first) names its release.
rm "$archives/SOURCES.tsv"
printf 'not a zip archive' >"$archives/d01b.zip"
cp "$tmp/d96a.zip" "$archives/d96a.zip"
if "$gen" --archives "$archives" --out "$out" --force >"$tmp/gen.log" 2>&1; then fail "a broken archive imported"; fi
grep -q "D01B failed" "$tmp/gen.log" || fail "the failed release is not named: $(cat "$tmp/gen.log")"
[ "$(cat "$out/.generated")" = "$stamp" ] || fail "a failed import changed $out"
[ -z "$(find "$tmp/var lib" -maxdepth 1 -name '.standards.*')" ] || fail "a failed run left its working folder"

for usage in --bogus --out "--jobs 0"; do
    # shellcheck disable=SC2086 # "--jobs 0" is two arguments
    status=0
    "$gen" $usage >"$tmp/gen.log" 2>&1 || status=$?
    [ "$status" = 2 ] && grep -q "Try 'talmiro-generate-standards --help'" "$tmp/gen.log" ||
        fail "'$usage' is not a usage error (status $status)"
done

[ "$failures" = 0 ] || exit 1
echo "install layout, configuration lookup and standards generation: all checks passed"
