#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages), builds everything and runs every
# test; then runs the black-box scripts and the real-window cases again on a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, so a use-after-free, leak or
# undefined behaviour on the road a script or a person's keys take fails the run too
# (ORVEL_SKIP_ASAN=1 skips that second pass).
set -euo pipefail
cd "$(dirname "$0")"
. tools/deps.sh
orvel_install_deps
# Layout is .clang-format's: a difference fails the run before anything is built.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h'
else
  find src tests bench -name '*.cpp' -print0 -o -name '*.h' -print0
fi | xargs -0 clang-format --dry-run --Werror
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@")

if [ "${ORVEL_SKIP_ASAN:-0}" != 1 ] && [ $# -eq 0 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$(nproc)" --target orvel
  # A sanitizer report exits with its own status, so it never passes for an expected one.
  (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=exitcode=86:detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:exitcode=86 \
    ctest --output-on-failure -j"$(nproc)" --timeout 300 -R '^(run|window)/')
fi
