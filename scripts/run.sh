#!/usr/bin/env bash
# Builds the program and runs it with a throwaway configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
build/Parlo --no-update --config "$config/Parlo.conf" "$@"
