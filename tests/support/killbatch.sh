#!/usr/bin/env bash
# Kills a batch at a random moment on a real filesystem, restarts the window, and says what the
# folder holds then. By hand, as root, after `make build`:
#   killbatch.sh KIND FILES RUNS [serial|case] [replug|copy]
# KIND as realmount.sh takes it (exfat, ntfs, fat, sshfs) or "local" for a folder on this disk.
# Each run: FILES files in a folder of the mount (a FAT root folder holds few names), each holding its own number, and a batch over them: "serial" (f2.jpg...
# renamed f1.jpg..., every new name but the last another file's old name) or "case" (IMG_0001.JPG...
# given the extension "jpg"); a SIGKILL once a random share of one of its two phases is done; with
# "replug" an unmount and mount in between; with "copy" a copy of the image, taken before the
# batch, in its place at a first start (which must keep every file and the record), then the real
# image again; then the start-up that recovers.
# One line a run: where the kill fell, files whose content is under no name of theirs or missing,
# empty files, extra names, what stays in .xxxxxxx, files under their new names, the records kept
# beside the work folder, and the message.
set -uo pipefail
kind=${1:?kind} files=${2:?files} runs=${3:?runs} rule=${4:-serial} replug=${5:-}
here=$(dirname "$(realpath "$0")")
victim=${MIVOT_BUILD_DIR:-$here/../../build}/tests/crashvictim
[ -x "$victim" ] || { echo "build the tests first: $victim" >&2; exit 2; }
work=$(mktemp -d)
d=$work/m/mnt/photos
# Stopping a campaign (kill its script by its id) ends its batch too, before the image goes: no
# victim is left to be found and killed by name, which would kill every test's victim as well.
trap 'kill -9 $(jobs -p) 2>/dev/null; wait; "$here/realmount.sh" unmount "$kind" "$work/m" >/dev/null 2>&1; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT HUP

plug() {
    [ "$kind" = local ] && { mkdir -p "$work/m/mnt"; return; }
    "$here/realmount.sh" mount "$kind" "$work/m" || exit $?
}
unplug() { [ "$kind" = local ] || "$here/realmount.sh" unmount "$kind" "$work/m"; }

# A card's or a share's files come in capitals, as a camera writes them (on FAT, mtools writes
# them so): each serial name f1.JPG... then stands on the next file's old name where case does not count.
oldName() {
    if [ "$rule" = case ]; then printf 'IMG_%04d.JPG' "$1"
    elif [[ $kind = @(fat|exfat|smb) ]]; then echo "F$1.JPG"
    else echo "f$1.jpg"; fi
}
newName() {
    if [ "$rule" = case ]; then printf 'IMG_%04d.jpg' "$1"
    elif [[ $kind = @(fat|exfat|smb) ]]; then echo "f$(($1 - 1)).JPG"
    else echo "f$(($1 - 1)).jpg"; fi
}

fill() {
    rm -rf "$work/prog"; mkdir -p "$work/prog"
    if [ "$kind" != fat ]; then
        rm -rf "$d"; mkdir -p "$d"
        for ((i = 2; i <= files + 1; i++)); do echo "$i" >"$d/$(oldName $i)"; done
        return
    fi
    # fusefat takes minutes to make a thousand files; mtools writes them into the image at once.
    local made=$work/made
    rm -rf "$made"; mkdir -p "$made"
    for ((i = 2; i <= files + 1; i++)); do echo "$i" >"$made/$(oldName $i)"; done
    unplug
    mdeltree -i "$work/m/image" ::/photos >/dev/null 2>&1
    mmd -i "$work/m/image" ::/photos && mcopy -i "$work/m/image" "$made"/* ::/photos/ || exit 1
    plug
}

# What the folder holds, by the names it lists (as they are spelt): one line of counts.
judge() {
    local wrong=0 missing=0 renamed=0 empty staged extra name
    declare -A held=()
    local content
    while IFS= read -r name; do
        content=; IFS= read -r content <"$d/$name" 2>/dev/null; held[$name]=$content
    done < <(find "$d" -maxdepth 1 -type f -printf '%f\n')
    empty=$(find "$d" -type f -empty | wc -l)
    staged=$(find "$d/.xxxxxxx" "$work/prog/xxxxxxx" -mindepth 1 2>/dev/null | wc -l)
    extra=$(( ${#held[@]} - files ))
    for ((i = 2; i <= files + 1; i++)); do
        if [ "${held[$(oldName $i)]-}" = "$i" ]; then :
        elif [ "${held[$(newName $i)]-}" = "$i" ]; then renamed=$((renamed + 1))
        elif grep -rlx -- "$i" "$d" >/dev/null 2>&1; then wrong=$((wrong + 1))
        else missing=$((missing + 1)); fi
    done
    local kept
    kept=$(ls -A "$work/prog" | grep -v -x -e xxxxxxx -e Option.ini -e '.xxxxxxx.history' -e '.*lock' | tr '\n' ' ')
    echo "misplaced=$wrong missing=$missing empty=$empty extra=$extra staged=$staged renamed=$renamed kept=[$kept]"
}

# The files in the staging folder: the hidden one beside the files, or the work folder on this disk.
staged() { find "$d/.xxxxxxx" "$work/prog/xxxxxxx" -type f -not -name '.*' 2>/dev/null | wc -l; }
start() { "$victim" start "$work/prog" 100000000 2>&1 | grep -v -e '^not killed' -e '^QStandardPaths' -e '^/' | tr '\n' ' '; }

plug
for ((run = 1; run <= runs; run++)); do
    fill
    sync
    if [ "$replug" = copy ]; then unplug; cp "$work/m/image" "$work/copy"; plug; fi
    # Phase one moves each file into the staging folder, phase two out of it again.
    target=$(( 1 + RANDOM % (2 * files) ))
    "$victim" batch "$work/prog" "$d" "$rule" direct 100000000 >"$work/out" 2>&1 &
    pid=$!
    if ((target <= files)); then
        at="phase 1, $target staged"
        while kill -0 $pid 2>/dev/null && (($(staged) < target)); do sleep 0.05; done
    else
        at="phase 2, $((2 * files - target)) left"
        while kill -0 $pid 2>/dev/null && (($(staged) < files * 9 / 10)); do sleep 0.05; done
        while kill -0 $pid 2>/dev/null && (($(staged) > 2 * files - target)); do sleep 0.05; done
    fi
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    at="$at ($(staged) staged)"
    grep -q '^not killed' "$work/out" && at="$at: the batch ended first"
    [ "$replug" = replug ] && { unplug; plug; }
    if [ "$replug" = copy ]; then
        unplug; mv "$work/m/image" "$work/real"; mv "$work/copy" "$work/m/image"; plug
        message=$(start)
        echo "$kind run $run, the copy first -> $(judge) $message"
        unplug; rm -f "$work/m/image"; mv "$work/real" "$work/m/image"; plug
    fi
    message=$(start | cut -c1-300)
    echo "$kind run $run, killed in $at -> $(judge) $message"
done
