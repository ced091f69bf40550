#!/usr/bin/env bash
# `make install` and `make uninstall`. Installing first stages the copy in a scratch folder to learn
# which files and folders it adds, records those that were not already there, then installs for real;
# uninstalling removes exactly what that record lists, so nothing that was there before goes.
#   scripts/install.sh install|uninstall <build folder> <prefix>
set -euo pipefail
action=$1 build=$(cd "$2" && pwd) prefix=$3
record=$build/install-record-$(printf '%s' "$prefix" | md5sum | cut -c1-12).txt

case $action in
install)
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    DESTDIR=$stage cmake --install "$build" --prefix "$prefix" --strip >/dev/null
    : > "$record.new"
    while IFS= read -r -d '' entry; do
        path=${entry#"$stage"}
        if [ -d "$entry" ]; then
            [ -e "$path" ] || printf 'd %s\n' "$path" >> "$record.new"
        else
            printf 'f %s\n' "$path" >> "$record.new"
        fi
    done < <(find "$stage$prefix" -print0)
    # A record of an earlier install to this prefix keeps the folders that install created.
    [ -f "$record" ] && grep '^d ' "$record" >> "$record.new" || true
    sort -u -o "$record.new" "$record.new"
    cmake --install "$build" --prefix "$prefix" --strip
    mv "$record.new" "$record"
    ;;
uninstall)
    [ -f "$record" ] || { echo "nothing installed to $prefix from $build" >&2; exit 1; }
    grep '^f ' "$record" | cut -c3- | while IFS= read -r path; do
        rm -fv -- "$path"
    done
    # Deepest first, and only folders left empty.
    grep '^d ' "$record" | cut -c3- | awk '{ print length, $0 }' | sort -rn | cut -d' ' -f2- |
        while IFS= read -r path; do
            rmdir -- "$path" 2>/dev/null || true
        done
    rm -f -- "$record"
    ;;
*)
    echo "usage: $0 install|uninstall <build folder> <prefix>" >&2
    exit 2
    ;;
esac
