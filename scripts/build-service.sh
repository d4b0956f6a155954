#!/usr/bin/env bash
# Configures (once) and builds the shortening service and its tests natively
# into build/native with the host compiler.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
build=$root/build/native
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root/service" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build"
