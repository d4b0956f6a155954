#!/usr/bin/env bash
# Builds the 32-bit program in its release configuration and packages it:
#   dist/Snipora-<version>-win32.zip          Snipora.exe, README.txt, LICENSE.txt
#   dist/Snipora-<version>-win32-symbols.zip  Snipora.exe.debug, the symbols
#                                             for crash analysis
#   dist/SHA256SUMS
# The program is optimised and carries no debug information; its symbols are
# kept in the separate file it names (.gnu_debuglink). It is built with the
# compiler's win32 thread model, so that it imports nothing Windows XP SP3
# lacks. Two runs on the same commit give byte-identical files.
#
# SNIPORA_SERVICE_HOST=short.example.org scripts/package.sh builds a package
# for another shortening service (the program's own default otherwise).
# SNIPORA_RELEASE_BUILD and SNIPORA_DIST choose the build and output folders
# (build/release-i686 and dist).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
build=${SNIPORA_RELEASE_BUILD:-$root/build/release-i686}
dist=${SNIPORA_DIST:-$root/dist}
triple=i686-w64-mingw32

if [ ! -f "$root/.deps/libjpeg-turbo-i686/lib/libjpeg.a" ]; then
  echo "${0##*/}: the static JPEG library is missing: run scripts/setup.sh first" >&2
  exit 1
fi

if [ -n "${SNIPORA_SERVICE_HOST:-}" ]; then
  host_setting=(-DSNIPORA_SERVICE_HOST="$SNIPORA_SERVICE_HOST")
else
  host_setting=(-USNIPORA_SERVICE_HOST)  # back to the program's default
fi
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686-win32-threads.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_CXX_FLAGS_MINSIZEREL="-Os -g -DNDEBUG" \
  -DCMAKE_C_FLAGS_MINSIZEREL="-Os -g -DNDEBUG" \
  -DSNIPORA_PRODUCT_ONLY=ON -DSNIPORA_DEPS_DIR="$root/.deps" "${host_setting[@]}" >/dev/null
cmake --build "$build" --target snipora

version=$(cat "$build/package/VERSION")
name=Snipora-$version-win32
stage=$build/package/stage
rm -rf "$stage"
mkdir -p "$stage" "$dist"
# the symbols apart, the program without them and naming them; objcopy
# writes the current time into a PE header unless SOURCE_DATE_EPOCH says
# otherwise, and the linker wrote none
SOURCE_DATE_EPOCH=0 "$triple-objcopy" --only-keep-debug "$build/app/Snipora.exe" "$stage/Snipora.exe.debug"
SOURCE_DATE_EPOCH=0 "$triple-objcopy" --strip-all --add-gnu-debuglink="$stage/Snipora.exe.debug" \
  "$build/app/Snipora.exe" "$stage/Snipora.exe"

rm -f "$dist/$name.zip" "$dist/$name-symbols.zip" "$dist/SHA256SUMS"
python3 "$root/release/make_zip.py" "$dist/$name.zip" \
  Snipora.exe="$stage/Snipora.exe" README.txt="$build/package/README.txt" LICENSE.txt="$root/LICENSE"
python3 "$root/release/make_zip.py" "$dist/$name-symbols.zip" Snipora.exe.debug="$stage/Snipora.exe.debug"
(cd "$dist" && sha256sum "$name.zip" "$name-symbols.zip" >SHA256SUMS)

size=$(stat -c %s "$stage/Snipora.exe")
host=$(sed -n 's/^SNIPORA_SERVICE_HOST:STRING=//p' "$build/CMakeCache.txt")
printf 'Snipora.exe: %d bytes (%s MB), service host %s\n' "$size" \
  "$(awk -v s="$size" 'BEGIN { printf "%.2f", s / 1048576 }')" "$host"
cat "$dist/SHA256SUMS"
