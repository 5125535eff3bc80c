#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages), builds Orvel and starts the workbench.
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orvel_install_deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec ./build/orvel "$@"
