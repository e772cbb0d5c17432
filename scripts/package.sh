#!/usr/bin/env bash
# Builds the program and makes its Debian package: build/parlo_<version>_<arch>.deb.
# Install it with: apt-get install ./build/parlo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# Only what the package holds: the tests are not needed for it.
BUILD_TARGET="ParloHost Parlo parlo_skin parlo_catalog parlo_desktop_files" \
    scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build && cpack -G DEB > /dev/null)
ls build/parlo_*.deb
