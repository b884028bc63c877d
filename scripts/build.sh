#!/usr/bin/env bash
# Configures (once) and builds everything into build/ with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${KESTOVA_BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
