#!/usr/bin/env bash
# The main job: builds the firmware images and reports what was built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash Scripts/build.sh >/dev/null
for image in build/images/*.efi build/images/*.te; do
  [ -f "$image" ] || continue
  build/Tools/PeInfo "$image"
  echo
done
build/Qemu/QemuRunner --images build/images --work build/Qemu/work --demo
