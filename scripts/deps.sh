#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velquin need.
# Quiet and quick when everything is present; as a non-root user it only prints the command.
set -euo pipefail

packages=(
  cmake ninja-build g++ make clang-format
  qt6-base-dev qt6-image-formats-plugins qt6-translations-l10n qt6-gtk-platformtheme
  # A native Wayland session needs Qt's Wayland platform plugin.
  qt6-wayland
  libgtest-dev
  # Reads the dates photos and videos were taken.
  libexiv2-dev
  fonts-wqy-microhei
  xvfb xauth
  # `make package` (dpkg-shlibdeps reads the binary's libraries with file), its lintian check,
  # and the tests that validate the AppStream metadata and the menu entry.
  dpkg-dev file lintian appstream desktop-file-utils
)
# Test packages: the fault suite makes and mounts small drives of these kinds (FUSE for FAT,
# exFAT and NTFS, loop devices for btrfs and xfs) and sets ACLs and attributes.
test_packages=(exfatprogs exfat-fuse dosfstools fusefat ntfs-3g xfsprogs btrfs-progs acl attr)
packages+=("${test_packages[@]}")
# Optional helpers: a compiler cache for faster rebuilds, clang for the fuzz targets.
optional=(ccache clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

missing_optional=()
for p in "${optional[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing_optional+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  # The optional ones are tried once more as root, and may never fail the build.
  if [ "${#missing_optional[@]}" -gt 0 ] && [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing_optional[@]}"; } >/dev/null 2>&1 || true
  fi
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Velquin needs these Debian packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]} ${optional[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The optional ones must never fail the install.
apt-get install -y -qq --no-install-recommends "${optional[@]}" >/dev/null 2>&1 || true
