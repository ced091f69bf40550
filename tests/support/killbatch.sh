#!/usr/bin/env bash
# Kills a serial batch at a random moment on a real filesystem, restarts the window, and says what
# the folder holds then. By hand, as root, after `make build`:
#   killbatch.sh KIND FILES RUNS [replug]
# KIND as realmount.sh takes it (exfat, ntfs, fat, sshfs) or "local" for a folder on this disk.
# Each run: FILES files f2.jpg... each holding its own number, the batch "f" from 1 (every name
# but the last is another file's old name), a SIGKILL at a random moment of the time a whole
# batch took after start-up, with "replug" an unmount and mount in between, then the start-up that recovers.
# One line a run: where the kill fell, files whose content is under a wrong name or missing,
# empty files, extra names, what stays in .xxxxxxx, whether the journal stays, and the message.
set -uo pipefail
kind=${1:?kind} files=${2:?files} runs=${3:?runs} replug=${4:-}
here=$(dirname "$(realpath "$0")")
victim=${MIVOT_BUILD_DIR:-$here/../../build}/tests/crashvictim
[ -x "$victim" ] || { echo "build the tests first: $victim" >&2; exit 2; }
work=$(mktemp -d)
trap '"$here/realmount.sh" unmount "$kind" "$work/m" >/dev/null 2>&1; rm -rf "$work"' EXIT

plug() {
    [ "$kind" = local ] && { mkdir -p "$work/m/mnt"; return; }
    "$here/realmount.sh" mount "$kind" "$work/m" || exit $?
}
unplug() { [ "$kind" = local ] || "$here/realmount.sh" unmount "$kind" "$work/m"; }

fill() {
    rm -rf "$work/m/mnt/"{*,.xxxxxxx} "$work/prog"; mkdir -p "$work/prog"
    for ((i = 2; i <= files + 1; i++)); do echo "$i" >"$work/m/mnt/f$i.jpg"; done
}

# What the folder holds: one line of counts.
judge() {
    local d=$work/m/mnt wrong=0 missing=0 empty staged extra
    empty=$(find "$d" -type f -empty | wc -l)
    staged=$(find "$d/.xxxxxxx" "$work/prog/xxxxxxx" -type f 2>/dev/null | wc -l)
    extra=$(( $(find "$d" -maxdepth 1 -type f | wc -l) - files ))
    for ((i = 2; i <= files + 1; i++)); do
        if [ "$(cat "$d/f$i.jpg" 2>/dev/null)" != "$i" ] && [ "$(cat "$d/f$((i - 1)).jpg" 2>/dev/null)" != "$i" ]; then
            grep -rlx -- "$i" "$d" >/dev/null 2>&1 && wrong=$((wrong + 1)) || missing=$((missing + 1))
        fi
    done
    local journal=no
    [ -e "$work/prog/.xxxxxxx.journal" ] && journal=yes
    echo "misplaced=$wrong missing=$missing empty=$empty extra=$extra staged=$staged journal=$journal"
}

plug
fill
start=$(date +%s%N)
"$victim" batch "$work/prog" "$work/m/mnt" serial direct 100000000 >/dev/null 2>&1
whole=$(( ($(date +%s%N) - start) / 1000000 ))
start=$(date +%s%N)
"$victim" start "$work/prog" 100000000 >/dev/null 2>&1
startup=$(( ($(date +%s%N) - start) / 1000000 ))
echo "$kind: $files files, start-up $startup ms, start-up and batch $whole ms"
for ((run = 1; run <= runs; run++)); do
    fill
    sync
    at=$(( startup + RANDOM * (whole - startup) / 32768 ))
    "$victim" batch "$work/prog" "$work/m/mnt" serial direct 100000000 >"$work/out" 2>&1 &
    pid=$!
    sleep "$(printf '%d.%03d' $((at / 1000)) $((at % 1000)))"
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    before=$(find "$work/m/mnt/.xxxxxxx" "$work/prog/xxxxxxx" -type f 2>/dev/null | wc -l)
    [ -n "$replug" ] && { unplug; plug; }
    message=$("$victim" start "$work/prog" 100000000 2>&1 | grep -v -e '^not killed' -e '^QStandardPaths' -e '^/' | tr '\n' ' ')
    echo "run $run: killed at $at ms ($before staged) -> $(judge) $message"
done
