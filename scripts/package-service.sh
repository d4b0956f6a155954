#!/usr/bin/env bash
# Builds the shortening service's Debian package (debian/):
#   dist/snipora-service_<version>_<arch>.deb          the package
#   dist/snipora-service-dbgsym_<version>_<arch>.deb   its symbols
# <version> is the project's (CMakeLists.txt), which debian/changelog must
# name; the changelog's date is the date of every file in the package, so two
# builds of the same sources give the same bytes.
# The package carries the Windows release zip (scripts/package.sh, run here
# each time: it rebuilds only what changed); SNIPORA_CLIENT_ZIP names a zip
# made already instead. SNIPORA_DIST and SNIPORA_DEB_BUILD choose the output
# and work folders (dist and build/deb).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
dist=${SNIPORA_DIST:-$root/dist}
work=${SNIPORA_DEB_BUILD:-$root/build/deb}

version=$(sed -n 's/^project(Snipora VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "${0##*/}: no version in CMakeLists.txt's project()" >&2; exit 1; }
listed=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
if [ "$listed" != "$version" ]; then
  echo "${0##*/}: debian/changelog's last entry is $listed, the project is $version: add an entry (dch -v $version)" >&2
  exit 1
fi
# debian/copyright carries LICENSE's text in its paragraph of the Expat licence
licence=$(awk -v RS= '/^License: Expat\n/' "$root/debian/copyright" | sed '1d; s/^ //; s/^\.$//')
if [ "$licence" != "$(sed -n '/^Permission/,$p' "$root/LICENSE")" ]; then
  echo "${0##*/}: debian/copyright's Expat text differs from LICENSE" >&2
  exit 1
fi

client=${SNIPORA_CLIENT_ZIP:-}
if [ -z "$client" ]; then
  SNIPORA_DIST=$dist "$root/scripts/package.sh"
  client=$dist/Snipora-$version-win32.zip
fi
[ -f "$client" ] || { echo "${0##*/}: no Windows release zip at $client" >&2; exit 1; }

# dpkg-buildpackage writes its results beside the folder it builds in, so it
# builds in a copy of what the package is made of.
source=$work/snipora-service-$version
rm -rf "$work"
mkdir -p "$source/client" "$dist"
cp -r "$root/debian" "$root/service" "$root/LICENSE" "$source/"
cp "$client" "$source/client/Snipora-$version-win32.zip"
echo "== dpkg-buildpackage in ${source#"$root"/}"
if ! (cd "$source" && dpkg-buildpackage -b -us -uc -j2) >"$work/build.log" 2>&1; then
  tail -n 60 "$work/build.log" >&2
  echo "${0##*/}: dpkg-buildpackage failed (the whole log: $work/build.log)" >&2
  exit 1
fi

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=snipora-service_${version}_$arch.deb
symbols=snipora-service-dbgsym_${version}_$arch.deb
rm -f "$dist/$deb" "$dist/$symbols"
mv "$work/$deb" "$dist/"
if [ -f "$work/$symbols" ]; then mv "$work/$symbols" "$dist/"; fi  # none with DEB_BUILD_OPTIONS=noautodbgsym
printf '%s: %d bytes\n' "$deb" "$(stat -c %s "$dist/$deb")"
(cd "$dist" && sha256sum "$deb")
