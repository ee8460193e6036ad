#!/usr/bin/env bash
# Configures and builds everything (host tests, tools and the firmware images)
# into ./build. Used by the main job and the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash Scripts/setup.sh
JOBS=${JOBS:-2}
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build build -j "$JOBS"
