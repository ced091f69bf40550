#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; does nothing when all are present.
set -euo pipefail
packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev fonts-noto-cjk
          qt6-translations-l10n xvfb xauth xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
