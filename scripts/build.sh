#!/usr/bin/env bash
# Configures and builds one preset (default: release). Warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
cmake --preset "$preset" -DQOLA_WERROR=ON > /dev/null
cmake --build --preset "$preset" -j "$(nproc)"
