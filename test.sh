#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages), builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orvel_install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
