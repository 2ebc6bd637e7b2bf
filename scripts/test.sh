#!/usr/bin/env bash
# Builds the release preset and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
ctest --preset release -j "$(nproc)"
