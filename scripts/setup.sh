#!/usr/bin/env bash
# Takes a fresh Debian 12 machine (as root) to a built tree: packages, the
# static JPEG library for the target, the test Wine prefix, configure, build;
# and the native fuzz build (clang with libFuzzer and the sanitizers).
# Safe to run again: every step checks what is already there.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
. "$root/scripts/apt.sh"
deps=$root/.deps

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth x11-utils locales fonts-wqy-microhei fonts-wine
  cmake ninja-build nasm dpkg-dev googletest gcc-multilib qemu-user-static
  imagemagick xdotool python3
  clang-15 libclang-common-15-dev llvm-15 libjpeg62-turbo-dev
  libmicrohttpd-dev libsqlite3-dev wrk apache2-utils curl postgresql-15 libpq-dev
  libzip-dev unzip debhelper lintian
  libqrencode-dev libpng-dev zbar-tools librsvg2-bin libidn2-dev nettle-dev nlohmann-json3-dev
  libcurl4-openssl-dev libcjose-dev libmaxminddb-dev libmaxmind-db-writer-perl dnsmasq-base
  chromium
)
# The browser tests' node and npm: those of the machine when it has them,
# Debian's otherwise.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

step() { printf '== %s\n' "$*"; }

step "apt sources: i386 and deb-src"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && grep -q '^Types: deb$' "$src"; then
  as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  step "apt: ${missing[*]:-update only}"
  apt_install "${missing[@]}"
fi

# PostgreSQL refuses to run as root: the service's tests start theirs as this
# user (scripts/pg-test-server.sh).
if [ "$(id -u)" -eq 0 ] && ! id snipora-pg >/dev/null 2>&1; then
  step "user snipora-pg for the tests' PostgreSQL"
  useradd --system --no-create-home --shell /usr/sbin/nologin snipora-pg
fi

step "locale zh_CN.UTF-8"
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen
fi

# libjpeg-turbo from Debian's source package, static for a target
build_jpeg() {
  local arch=$1 prefix=$deps/libjpeg-turbo-$1
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  step "libjpeg-turbo, static for $arch"
  local jsrc
  mkdir -p "$deps/src"
  jsrc=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
  if [ -z "$jsrc" ]; then
    (cd "$deps/src" && apt-get source -q libjpeg-turbo >/dev/null 2>&1)
    jsrc=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
  fi
  local jbuild=$deps/build/libjpeg-turbo-$arch
  rm -rf "$jbuild"
  cmake -S "$jsrc" -B "$jbuild" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm >/dev/null
  cmake --build "$jbuild" --target jpeg-static >/dev/null
  # only the static library and its headers: the tools are not needed
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$jbuild/libjpeg.a" "$prefix/lib/"
  # Its objects name their sources by full path (C_FILE records), which would
  # carry this checkout's folder into the program's symbols; nothing else of
  # debugging is in a release build of it.
  "$arch-w64-mingw32-objcopy" --strip-debug "$prefix/lib/libjpeg.a"
  cp "$jsrc/jpeglib.h" "$jsrc/jmorecfg.h" "$jsrc/jerror.h" "$jbuild/jconfig.h" "$prefix/include/"
}

configure_and_build() {
  local arch=$1
  build_jpeg "$arch"
  step "configure and build for $arch"
  cmake -S "$root" -B "$root/build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=${SNIPORA_BUILD_TYPE:-RelWithDebInfo} \
    -DSNIPORA_DEPS_DIR="$deps" >/dev/null
  cmake --build "$root/build/$arch"
}

step "Wine prefix for tests"
"$root/scripts/wine-prefix.sh"

# The product is 32-bit and always built; the tests run on the build this
# host can execute (scripts/test-arch.sh).
configure_and_build i686
test_arch=$("$root/scripts/test-arch.sh")
[ "$test_arch" = i686 ] || configure_and_build "$test_arch"

# The parsing cores, natively, under libFuzzer (clang's runtime libraries
# come with libclang-common-15-dev; its symbolizer with llvm-15).
step "configure and build the fuzz targets"
cmake -S "$root/fuzz" -B "$root/build/fuzz" -G Ninja \
  -DCMAKE_C_COMPILER=clang-15 -DCMAKE_CXX_COMPILER=clang++-15 >/dev/null
cmake --build "$root/build/fuzz"

# The shortening service, natively with the host compiler.
step "configure and build the service"
"$root/scripts/build-service.sh"

# puppeteer-core for the browser tests (tests/browser/), at the locked
# versions, into the build tree; it drives Debian's chromium, so no browser is
# downloaded. The lock copied last marks an install that finished.
browser=$root/build/browser
if ! cmp -s "$root/tests/browser/package-lock.json" "$browser/installed-lock.json"; then
  step "puppeteer-core for the browser tests"
  mkdir -p "$browser"
  cp "$root/tests/browser/package.json" "$root/tests/browser/package-lock.json" "$browser/"
  (cd "$browser" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  cp "$root/tests/browser/package-lock.json" "$browser/installed-lock.json"
fi
# The other shorteners' own clients (tests/clients/), at the locked versions,
# into the build tree: the service is checked against them unchanged.
clients=$root/build/clients
if ! cmp -s "$root/tests/clients/package-lock.json" "$clients/installed-lock.json"; then
  step "the other shorteners' clients for the service's tests"
  mkdir -p "$clients"
  cp "$root/tests/clients/package.json" "$root/tests/clients/package-lock.json" "$clients/"
  (cd "$clients" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  cp "$root/tests/clients/package-lock.json" "$clients/installed-lock.json"
fi
step "done"
