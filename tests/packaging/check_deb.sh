#!/usr/bin/env bash
# The Debian package as scripts/package makes it (only compressed faster): its control data, maintainer
# scripts and contents. lintian, where installed, must find no error.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
command -v dpkg-shlibdeps >/dev/null || { echo "dpkg-shlibdeps (dpkg-dev) is not installed: skipped"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$tmp/cpack" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip) >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    exit 1
}
deb=$(find "$tmp/cpack" -maxdepth 1 -name 'talmiro_*.deb')
[ "$(basename "$deb")" = "talmiro_${version}_$(dpkg --print-architecture).deb" ] || fail "package file: $deb"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = talmiro ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
depends=$(field Depends)
# The viewer's Qt libraries, its window system plugins, and the command line's libraries.
for dependency in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins libzip4 libinih1; do
    [[ ", $depends," == *", $dependency"[\ ,]* ]] || fail "Depends lacks $dependency: $depends"
done

dpkg-deb --control "$deb" "$tmp/control"
grep -qx /etc/talmiro/TALMIRO.INI "$tmp/control/conffiles" || fail "/etc/talmiro/TALMIRO.INI is no conffile"
grep -q '/usr/share/talmiro/talmiro-generate-standards' "$tmp/control/postinst" || fail "postinst does not generate"
grep -q 'rm -rf /var/lib/talmiro' "$tmp/control/postrm" || fail "postrm does not remove the standards"
for script in postinst postrm; do
    [ -x "$tmp/control/$script" ] || fail "$script is not executable"
    sh -n "$tmp/control/$script" || fail "$script is no valid shell script"
done

dpkg-deb --contents "$deb" >"$tmp/contents"
awk '$2 != "root/root"' "$tmp/contents" | grep . && fail "files not owned by root"
paths=$(awk '{ print $6 }' "$tmp/contents")
for path in ./usr/bin/talmiro-cli ./etc/talmiro/TALMIRO.INI ./usr/share/talmiro/talmiro-generate-standards \
    ./usr/share/talmiro/untdid/LICENAGR.TXT ./usr/share/doc/talmiro/copyright ./usr/share/man/man1/talmiro-cli.1.gz \
    ./usr/share/doc/talmiro/examples/d96a_orders.edi ./usr/share/talmiro/guidelines/fennick_orders.gdf; do
    grep -qx -- "$path" <<<"$paths" || fail "missing $path"
done
[ ! -f "$build/viewer/talmiro" ] || grep -qx ./usr/bin/talmiro <<<"$paths" || fail "missing ./usr/bin/talmiro"
archives=$(ls "$source"/standards/untdid/d*.zip | wc -l)
[ "$(grep -c '^./usr/share/talmiro/untdid/d.*\.zip$' <<<"$paths")" = "$archives" ] || fail "not all $archives archives"
grep -iE '\.(sdt|mdt)$' <<<"$paths" && fail "compiled tables in the package"
grep -iE '\.(sdf|mdf)$' <<<"$paths" | grep -v '^./usr/share/talmiro/service/' && fail "generated sources in the package"
grep -E '^./usr/local|^./var/' <<<"$paths" && fail "files outside /usr and /etc"

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1 || true
    cat "$tmp/lintian"
    grep -q '^E: ' "$tmp/lintian" && fail "lintian reports errors"
else
    echo "lintian is not installed: the package was not checked by it"
fi

[ "$failures" = 0 ] || exit 1
echo "package $(basename "$deb"): control data, scripts and contents as expected"
