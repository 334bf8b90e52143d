#!/usr/bin/env bash
# Builds FreeType for another system (Windows, WebAssembly), with the given
# toolchain file, from Debian's own source package into PREFIX:
# static, with its own gzip code and nothing else from outside.
#   tools/freetype_from_source.sh WORK_DIR PREFIX TOOLCHAIN_FILE
# apt-get runs on a private copy of the system's Debian sources, turned into
# deb-src entries, with its lists and cache under WORK_DIR: the machine's
# /etc/apt is only read. Does nothing when PREFIX already has the library.
set -euo pipefail
work=$1 prefix=$2 toolchain=$3
[[ -f "$prefix/lib/libfreetype.a" ]] && exit 0

apt="$work/apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$work/src"
rm -f "$apt/sources.list.d/"*
for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] && sed -n 's/^deb /deb-src /p' "$f" >"$apt/sources.list.d/$(basename "$f").list"
done
opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
      -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
apt-get "${opts[@]}" -qq update
(cd "$work/src" && rm -rf freetype-* && apt-get "${opts[@]}" -qq source freetype >/dev/null)
source_dir=$(echo "$work"/src/freetype-*/)

cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >/dev/null
cmake --build "$work/build"
cmake --install "$work/build" >/dev/null
