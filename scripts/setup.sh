#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: installs the Debian packages the build needs (only when
# one is missing), then configures and builds the Release tree in build/.
set -euo pipefail

NORVALE_PACKAGES=(cmake g++ make pkg-config libpng-dev libjpeg62-turbo-dev zlib1g-dev libgtest-dev python3)
# Only for the checks in test.sh: the sanitizer runtimes of g++, clang with libFuzzer, and
# clang-format for the layout check.
NORVALE_CHECK_PACKAGES=(libasan8 libubsan1 libtsan2 clang libclang-rt-14-dev clang-format)
# The Python module (test.sh builds it): headers, pybind11, and what its tests use.
NORVALE_PYTHON_PACKAGES=(python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pil python3-pytest
    python3-setuptools python3-wheel)

norvale_install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}" >&2
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >&2
    fi
}

# norvale_build DIR [CMAKE_ARGS...]: configures DIR (Release unless the arguments say otherwise)
# and builds everything in it.
norvale_build() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# norvale_build_target DIR TARGET [CMAKE_ARGS...]: the same, building one target only.
norvale_build_target() {
    local dir="$1"
    local target="$2"
    shift 2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)" --target "$target"
}
