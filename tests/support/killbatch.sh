#!/usr/bin/env bash
# Kills a serial batch at a random move on a real filesystem, restarts the window, and says what
# the folder holds then. By hand, as root, after `make build`:
#   killbatch.sh KIND FILES RUNS [replug]
# KIND as realmount.sh takes it (exfat, ntfs, fat, sshfs) or "local" for a folder on this disk.
# Each run: FILES files f2.jpg... each holding its own number, the batch "f" from 1 (every name
# but the last is another file's old name), a SIGKILL at a random move of phase one or two, with
# "replug" an unmount and mount in between, then the start-up that recovers.
# One line a run: where the kill fell, files whose content is under a wrong name or missing,
# empty files, extra names, what stays in .xxxxxxx, the records kept beside the work folder, and
# the message.
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
    local kept
    kept=$(ls -A "$work/prog" | grep -v -x -e xxxxxxx -e Option.ini -e '.xxxxxxx.history' -e '.*lock' | tr '\n' ' ')
    echo "misplaced=$wrong missing=$missing empty=$empty extra=$extra staged=$staged kept=[$kept]"
}

# The files in the staging folder: the hidden one beside the files, or the work folder on this disk.
staged() { find "$work/m/mnt/.xxxxxxx" "$work/prog/xxxxxxx" -type f 2>/dev/null | wc -l; }

plug
for ((run = 1; run <= runs; run++)); do
    fill
    sync
    # Phase one moves each file into the staging folder, phase two out of it again.
    target=$(( 1 + RANDOM % (2 * files) ))
    "$victim" batch "$work/prog" "$work/m/mnt" serial direct 100000000 >"$work/out" 2>&1 &
    pid=$!
    if ((target <= files)); then
        at="phase 1, $target staged"
        while kill -0 $pid 2>/dev/null && (($(staged) < target)); do :; done
    else
        at="phase 2, $((2 * files - target)) left"
        while kill -0 $pid 2>/dev/null && (($(staged) < files * 9 / 10)); do :; done
        while kill -0 $pid 2>/dev/null && (($(staged) > 2 * files - target)); do :; done
    fi
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    at="$at ($(staged) staged)"
    grep -q '^not killed' "$work/out" && at="$at: the batch ended first"
    [ -n "$replug" ] && { unplug; plug; }
    message=$("$victim" start "$work/prog" 100000000 2>&1 | grep -v -e '^not killed' -e '^QStandardPaths' -e '^/' | tr '\n' ' ')
    echo "$kind run $run, killed in $at -> $(judge) $message"
done
