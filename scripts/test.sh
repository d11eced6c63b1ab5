#!/usr/bin/env bash
# Installs what is missing, builds the kit and its tests (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${ZEM_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DZEM_ENABLE_ASAN=ON -DZEM_ENABLE_UBSAN=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
