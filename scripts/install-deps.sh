#!/usr/bin/env bash
# Installs the Debian packages that building and running need (`install-deps.sh run`), or those and
# what the tests and the package check need (no argument); does nothing when all are present.
set -euo pipefail
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev fonts-noto-cjk
          qt6-translations-l10n qt6-wayland)
if [ "${1:-all}" != run ]; then
    # Real exFAT, NTFS, FAT, SSHFS and SMB mounts for the name rules and crash tests (tests/support/realmount.sh).
    packages+=(exfat-fuse exfatprogs ntfs-3g fusefat dosfstools mtools openssh-server openssh-client sshfs)
    packages+=(samba smbnetfs)
    packages+=(xvfb xauth xdotool imagemagick file dpkg-dev lintian desktop-file-utils appstream fuse3 python3-fusepy)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
# apt's own lines are shown only when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
