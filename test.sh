#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
norvale_install_missing "${NORVALE_PACKAGES[@]}"
norvale_build build
ctest --test-dir build --output-on-failure -j "$(nproc)"
