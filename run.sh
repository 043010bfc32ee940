#!/usr/bin/env bash
# Installs what is missing, builds, and decodes IMAGE (a bundled sample by default).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
norvale_install_missing "${NORVALE_PACKAGES[@]}"
norvale_build build >/dev/null
image="${1:-tests/data/sample.png}"
exec build/bin/vistrel "$image"
