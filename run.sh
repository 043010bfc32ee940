#!/usr/bin/env bash
# Installs what is missing, builds the desktop front end, and decodes IMAGE (a bundled sample by
# default). IMAGE is named from the caller's folder.
set -euo pipefail
image=""
if [ $# -gt 0 ]; then
    case "$1" in
        /*) image="$1" ;;
        *) image="$PWD/$1" ;;
    esac
fi
cd "$(dirname "$0")"
source scripts/setup.sh
norvale_install_missing "${NORVALE_PACKAGES[@]}"
# The same configuration as test.sh's, so that neither rebuilds what the other built.
norvale_build_target build vistrel >/dev/null
exec build/bin/vistrel "${image:-tests/data/sample.png}"
