#!/usr/bin/env bash
# The package check that `make test` runs: the desktop entry and the AppStream metadata validate,
# `make deb`'s package builds with the files a desktop needs, a stripped binary and dependencies read
# from it, lintian finds no error, and uninstalling removes exactly what installing put in place.
#   scripts/check-package.sh <build folder>
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$top/data/org.example.mivot.desktop"
appstreamcli validate --no-net --pedantic "$top/data/org.example.mivot.metainfo.xml"
grep -q '<release version="2.00"' "$top/data/org.example.mivot.metainfo.xml" || fail "metainfo lacks the release 2.00"
for file in org.example.mivot.desktop org.example.mivot.metainfo.xml; do
    for text in 2.00 ファイルのリネーム支援ツール; do
        grep -q "$text" "$top/data/$file" || fail "$file lacks $text"
    done
done

(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/mivot_2.00_*.deb)
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' > "$scratch/contents"
for path in /usr/bin/mivot /usr/share/applications/org.example.mivot.desktop \
            /usr/share/metainfo/org.example.mivot.metainfo.xml /usr/share/man/man1/mivot.1.gz \
            /usr/share/icons/hicolor/scalable/apps/org.example.mivot.svg /usr/share/mivot/installed \
            /usr/share/doc/mivot/copyright /usr/share/doc/mivot/changelog.gz; do
    grep -qx "$path" "$scratch/contents" || fail "package lacks $path"
done
for size in 16 22 24 32 48 64 128 256; do
    grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/org.example.mivot.png" "$scratch/contents" ||
        fail "package lacks the ${size}px icon"
done
dpkg-deb -x "$deb" "$scratch/root"
file "$scratch/root/usr/bin/mivot" | grep -q ', stripped' || fail "the packaged binary is not stripped"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "dependencies were not read from the binary"
lintian --fail-on error "$deb"

# Install into a prefix that already holds a file of someone else's; uninstall must leave just that.
prefix=$scratch/prefix
mkdir -p "$prefix/share/applications"
: > "$prefix/share/applications/other.desktop"
"$top/scripts/install.sh" install "$build" "$prefix" >/dev/null
[ -x "$prefix/bin/mivot" ] || fail "make install put no program in place"
file "$prefix/bin/mivot" | grep -q ', stripped' || fail "the installed binary is not stripped"
"$top/scripts/install.sh" uninstall "$build" "$prefix" >/dev/null
left=$(cd "$prefix" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./share ./share/applications ./share/applications/other.desktop " ] || fail "uninstall left: $left"
echo "package check passed: $(basename "$deb"), $(stat -c %s "$deb") bytes"
