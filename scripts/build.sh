#!/usr/bin/env bash
# Configures and builds one variant: scripts/build.sh DIR [cmake options...]
# BUILD_TARGET="name ..." builds only those targets (and what they need).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" "$@" >/dev/null
targets=()
for target in ${BUILD_TARGET:-}; do
    targets+=(--target "$target")
done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}" -- --no-print-directory
