#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds the consumer program against it through the CMake
# package (static and shared) and through pkg-config, and checks what each prints for a picture.
# usage: check_installed_package.sh BUILD_DIR CONSUMER_SOURCE_DIR WORK_DIR PICTURE EXPECTED_TEXT_FILE
set -eu
build_dir="$1"; consumer_dir="$2"; work="$3"; picture="$4"; expected_file="$5"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log"

expected=$(cat "$expected_file")
check_output() {
    local what="$1"; shift
    local got
    if ! got=$("$@"); then
        echo "$what: exited with failure"; exit 1
    fi
    if [ "$got" != "$expected" ]; then
        echo "$what: printed '$got', expected '$expected'"; exit 1
    fi
    echo "$what: ok"
}

cmake -S "$consumer_dir" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release >"$work/consumer-configure.log"
cmake --build "$work/cmake-consumer" >"$work/consumer-build.log"
check_output "CMake package, static library" "$work/cmake-consumer/consumer_static" "$picture"
check_output "CMake package, shared library" "$work/cmake-consumer/consumer_shared" "$picture"

pc_file=$(find "$prefix" -name norvale-datamatrix.pc | head -n 1)
if [ -z "$pc_file" ]; then
    echo "norvale-datamatrix.pc not installed"; exit 1
fi
export PKG_CONFIG_PATH="$(dirname "$pc_file")"
libdir=$(pkg-config --variable=libdir norvale-datamatrix)
# shellcheck disable=SC2046
cc -o "$work/pkg-config-consumer" "$consumer_dir/consumer.c" \
    $(pkg-config --cflags --libs norvale-datamatrix) -Wl,-rpath,"$libdir"
check_output "pkg-config, shared library" "$work/pkg-config-consumer" "$picture"
# The static archive by its path, then what it needs, as the README shows.
# shellcheck disable=SC2046
cc -o "$work/pkg-config-static-consumer" "$consumer_dir/consumer.c" \
    $(pkg-config --cflags norvale-datamatrix) "$libdir/libnorvale_datamatrix.a" \
    $(pkg-config --libs libpng libjpeg zlib) -lstdc++ -lm
check_output "pkg-config, static library" "$work/pkg-config-static-consumer" "$picture"
