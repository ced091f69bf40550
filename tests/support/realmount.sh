#!/usr/bin/env bash
# Mounts a real filesystem that no one here wrote, for the tests and by hand:
#   realmount.sh mount KIND DIR     makes DIR/image (or DIR/remote) and mounts it at DIR/mnt
#   realmount.sh unmount KIND DIR   unmounts it and stops what the mount started; DIR stays
# KIND is exfat (exfat-fuse on a loop device), ntfs (ntfs-3g with windows_names), fat (fusefat)
# sshfs (a localhost sshd on a free port, with a key made for it) or smb (smbnetfs, a Samba client
# in FUSE, on a share of a local smbd that listens on port 445 of the loopback). A second mount of an
# existing DIR keeps the image: that is unplugging and plugging the card again.
# Exit 77 with the reason on stderr where the machine cannot mount it (no FUSE, no tool, not root).
set -uo pipefail
action=${1:?mount or unmount} kind=${2:?kind} dir=${3:?folder}
dir=$(realpath -m "$dir")
mnt=$dir/mnt

unusable() { echo "$*" >&2; exit 77; }
need() { command -v "$1" >/dev/null || unusable "$1 is not installed (Debian package $2)"; }

mounted() { grep -q " $mnt " /proc/self/mounts; }

if [ "$action" = unmount ]; then
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        mounted || break
        fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || sleep 0.2
    done
    mounted && umount -l "$mnt"
    [ -f "$dir/loop" ] && losetup -d "$(cat "$dir/loop")" 2>/dev/null && rm -f "$dir/loop"
    [ -f "$dir/sshd.pid" ] && kill "$(cat "$dir/sshd.pid")" 2>/dev/null && rm -f "$dir/sshd.pid"
    if [ -d "$dir/smb" ]; then
        grep -q " $dir/fuse " /proc/self/mounts && { fusermount3 -u "$dir/fuse" 2>/dev/null || umount -l "$dir/fuse"; }
        for pid in "$dir"/smb/run/*.pid; do [ -f "$pid" ] && kill "$(cat "$pid")" 2>/dev/null; done
        rm -f "$dir"/smb/run/*.pid
    fi
    exit 0
fi

[ "$(id -u)" -eq 0 ] || unusable "mounting images needs root"
[ -w /dev/fuse ] || unusable "/dev/fuse is missing or not usable"
need fusermount3 fuse3
mkdir -p "$mnt"
mounted && exit 0

case $kind in
exfat)
    need mkfs.exfat exfatprogs; need mount.exfat-fuse exfat-fuse
    [ -f "$dir/image" ] || { truncate -s 8M "$dir/image" && mkfs.exfat "$dir/image" >/dev/null; } || exit 1
    loop=$(losetup -f --show "$dir/image" 2>/dev/null) || unusable "no loop device is usable"
    echo "$loop" >"$dir/loop"
    timeout 20 mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>"$dir/log"
    ;;
ntfs)
    need mkntfs ntfs-3g; need ntfs-3g ntfs-3g
    [ -f "$dir/image" ] || { truncate -s 8M "$dir/image" && mkntfs -F -Q "$dir/image" >/dev/null 2>&1; } || exit 1
    timeout 20 ntfs-3g -o windows_names "$dir/image" "$mnt" >/dev/null 2>"$dir/log"
    ;;
fat)
    need mkfs.vfat dosfstools; need fusefat fusefat
    [ -f "$dir/image" ] || { truncate -s 8M "$dir/image" && mkfs.vfat "$dir/image" >/dev/null; } || exit 1
    timeout 20 fusefat -o rw+ "$dir/image" "$mnt" >/dev/null 2>"$dir/log"
    ;;
sshfs)
    need sshfs sshfs; need /usr/sbin/sshd openssh-server; need ssh-keygen openssh-client
    mkdir -p -m 700 "$dir/ssh" "$dir/remote" /run/sshd
    [ -f "$dir/ssh/user" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/ssh/user"
    [ -f "$dir/ssh/host" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/ssh/host"
    cp "$dir/ssh/user.pub" "$dir/ssh/authorized_keys"
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        /usr/sbin/sshd -D -E "$dir/log" -f /dev/null -o ListenAddress=127.0.0.1 -o Port=$port \
            -o HostKey="$dir/ssh/host" -o AuthorizedKeysFile="$dir/ssh/authorized_keys" \
            -o PasswordAuthentication=no -o KbdInteractiveAuthentication=no -o UsePAM=no \
            -o PermitRootLogin=prohibit-password -o StrictModes=no -o PidFile=none \
            -o "Subsystem=sftp internal-sftp" </dev/null &
        echo $! >"$dir/sshd.pid"
        sleep 0.3
        kill -0 "$(cat "$dir/sshd.pid")" 2>/dev/null && break
    done
    timeout 20 sshfs -p "$port" -o IdentityFile="$dir/ssh/user",StrictHostKeyChecking=no \
        -o UserKnownHostsFile=/dev/null,BatchMode=yes,LogLevel=ERROR \
        "$(id -un)@127.0.0.1:$dir/remote" "$mnt" </dev/null >/dev/null 2>"$dir/log"
    ;;
smb)
    need smbd samba; need smbnetfs smbnetfs
    mkdir -p "$dir/remote" "$dir/fuse" "$dir/home/.smb" "$dir"/smb/{run,lock,state,cache,private}
    chmod 777 "$dir/remote"
    cat >"$dir/smb/smb.conf" <<CONF
[global]
  server role = standalone server
  map to guest = Bad User
  pid directory = $dir/smb/run
  lock directory = $dir/smb/lock
  state directory = $dir/smb/state
  cache directory = $dir/smb/cache
  private dir = $dir/smb/private
  log file = $dir/smb/log
  interfaces = lo
  bind interfaces only = yes
  disable netbios = yes
  smb ports = 445
[share]
  path = $dir/remote
  read only = no
  guest ok = yes
  force user = $(id -un)
CONF
    # A second smbd on port 445 starts without a word and shares the port: each connection
    # reaches one of the two, and the mount may show the other server's share.
    (exec 3<>/dev/tcp/127.0.0.1/445) 2>/dev/null && unusable "port 445 of the loopback is taken by another SMB server"
    smbd -D -s "$dir/smb/smb.conf" 2>"$dir/log" || unusable "smbd did not start"
    sleep 0.5
    cp /etc/smbnetfs.conf "$dir/home/.smb/smbnetfs.conf"
    echo 'auth "guest" ""' >"$dir/home/.smb/smbnetfs.auth"
    echo 'host 127.0.0.1 visible=true' >"$dir/home/.smb/smbnetfs.host"
    touch "$dir/home/.smb/smb.conf"; chmod 600 "$dir"/home/.smb/*
    HOME=$dir/home timeout 20 smbnetfs "$dir/fuse" >/dev/null 2>>"$dir/log"
    for _ in 1 2 3 4 5 6 7 8 9 10; do [ -d "$dir/fuse/127.0.0.1/share" ] && break; sleep 0.3; done
    mount --bind "$dir/fuse/127.0.0.1/share" "$mnt" 2>>"$dir/log"
    # Ours, and not a share that another smbd started at the same moment answers for.
    mark=.realmount-$$
    touch "$dir/remote/$mark"
    if mounted && [ ! -e "$mnt/$mark" ]; then
        rm -f "$dir/remote/$mark"
        "$0" unmount "$kind" "$dir"
        unusable "the share on port 445 of the loopback is another SMB server's"
    fi
    rm -f "$dir/remote/$mark"
    ;;
*)
    echo "unknown kind $kind" >&2; exit 2
    ;;
esac
if ! mounted; then
    reason=$(tail -n 2 "$dir/log" 2>/dev/null | tr '\n' ' ')
    "$0" unmount "$kind" "$dir"
    unusable "the $kind image did not mount: $reason"
fi
