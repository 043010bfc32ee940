#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds the C and the C++ consumer against it with
# GCC and with clang, static and shared, through the CMake package and through pkg-config, and
# checks what each prints for a picture: the library's version (VERSION, the project's number),
# then the decoded text. The CMake package and the pkg-config file must carry VERSION too.
# usage: check_installed_package.sh BUILD_DIR CONSUMER_SOURCE_DIR WORK_DIR PICTURE EXPECTED_TEXT_FILE
#        VERSION
set -eu
build_dir="$1"; consumer_dir="$2"; work="$3"; picture="$4"; expected_file="$5"; version="$6"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

# run_logged LOG COMMAND...: runs the command with its output in LOG, shown when it fails.
run_logged() {
    local log="$1"; shift
    if ! "$@" >"$log" 2>&1; then
        echo "failed: $*"; tail -n 30 "$log"; exit 1
    fi
}

run_logged "$work/install.log" cmake --install "$build_dir" --prefix "$prefix"

expected="$version"$'\n'"$(cat "$expected_file")"
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

pc_file=$(find "$prefix" -name norvale-datamatrix.pc | head -n 1)
if [ -z "$pc_file" ]; then
    echo "norvale-datamatrix.pc not installed"; exit 1
fi
export PKG_CONFIG_PATH="$(dirname "$pc_file")"
libdir=$(pkg-config --variable=libdir norvale-datamatrix)
pc_version=$(pkg-config --modversion norvale-datamatrix)
if [ "$pc_version" != "$version" ]; then
    echo "pkg-config file: version $pc_version, expected $version"; exit 1
fi

for compilers in "gcc g++" "clang clang++"; do
    read -r cc cxx <<<"$compilers"
    build="$work/cmake-$cc"
    run_logged "$work/cmake-$cc-configure.log" cmake -S "$consumer_dir" -B "$build" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release -DNORVALE_EXPECTED_VERSION="$version" \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx"
    run_logged "$work/cmake-$cc-build.log" cmake --build "$build"
    for lang in c cpp; do
        for kind in static shared; do
            check_output "$cc, CMake package, $lang, $kind" "$build/consumer_${lang}_$kind" "$picture"
        done
    done

    for lang in c cpp; do
        if [ "$lang" = c ]; then compiler="$cc"; flags=""; else compiler="$cxx"; flags="-std=c++17"; fi
        program="$work/pkg-config-$cc-$lang"
        # shellcheck disable=SC2046,SC2086
        run_logged "$program-shared.log" "$compiler" $flags -o "$program-shared" \
            "$consumer_dir/consumer.$lang" $(pkg-config --cflags --libs norvale-datamatrix) \
            -Wl,-rpath,"$libdir"
        check_output "$cc, pkg-config, $lang, shared" "$program-shared" "$picture"
        # The static archive by its path, then what it needs, as the README shows.
        # shellcheck disable=SC2046,SC2086
        run_logged "$program-static.log" "$compiler" $flags -o "$program-static" \
            "$consumer_dir/consumer.$lang" $(pkg-config --cflags norvale-datamatrix) \
            "$libdir/libnorvale_datamatrix.a" $(pkg-config --libs libpng libjpeg zlib) -lstdc++ -lm
        check_output "$cc, pkg-config, $lang, static" "$program-static" "$picture"
    done
done
