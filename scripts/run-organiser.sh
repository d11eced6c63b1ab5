#!/usr/bin/env bash
# Installs what is missing, builds the kit and the example organiser (Release) and runs
# it on its embedded sample data. Arguments are passed to the organiser.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=${ZEM_RUN_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZEM_BUILD_TESTS=OFF -DZEM_BUILD_BENCH=OFF -DZEM_BUILD_FUZZ=OFF
cmake --build "$build" --target organiser -j"$(nproc)"
exec "$build/examples/organiser/organiser" "$@"
