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
echo "both runs wrote the same bytes:"
cat "$out/1/dist/SHA256SUMS"
