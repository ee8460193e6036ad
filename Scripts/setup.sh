#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need. Quick and quiet when
# everything is already present; needs root (or sudo) only when something is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ make
  clang-14 lld-14 llvm-14
  libgtest-dev libgmock-dev
  nlohmann-json3-dev
  libunicorn-dev
  qemu-system-x86 ovmf mtools gdisk
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
