#!/usr/bin/env bash
# Packages twice from clean, in two folders (FOLDER/1 and FOLDER/2), and fails
# unless the two runs wrote byte-identical files.
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
out=${1:?usage: package_twice.sh FOLDER}
rm -rf "$out/1" "$out/2"
for run in 1 2; do
  echo "== packaging, run $run"
  SNIPORA_RELEASE_BUILD=$out/$run/build SNIPORA_DIST=$out/$run/dist "$root/scripts/package.sh"
done
files=$(cd "$out/1/dist" && ls)
[ -n "$files" ] || { echo "${0##*/}: the first run wrote nothing" >&2; exit 1; }
[ "$files" = "$(cd "$out/2/dist" && ls)" ] || { echo "${0##*/}: the runs wrote different files" >&2; exit 1; }
differ=0
for f in $files; do
  if ! cmp "$out/1/dist/$f" "$out/2/dist/$f"; then differ=1; fi
done
if ! cmp "$out/1/build/package/stage/Snipora.exe" "$out/2/build/package/stage/Snipora.exe"; then differ=1; fi
[ "$differ" = 0 ] || { echo "${0##*/}: the two runs' files differ" >&2; exit 1; }
# Same bytes from another checkout too: neither the program nor its symbols
# may name a folder of this one or of the build.
for folder in "$root" "$out"; do
  for f in Snipora.exe Snipora.exe.debug; do
    if grep -qaF "$folder/" "$out/1/build/package/stage/$f"; then
      echo "${0##*/}: $f names the folder $folder:" >&2
      grep -aoF "$folder/" "$out/1/build/package/stage/$f" | head -n 3 >&2
      echo "(a JPEG library built before its source names were stripped: remove .deps/libjpeg-turbo-* and run scripts/setup.sh)" >&2
      exit 1
    fi
  done
done
echo "both runs wrote the same bytes:"
cat "$out/1/dist/SHA256SUMS"
