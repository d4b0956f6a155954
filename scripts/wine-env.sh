# Sourced by the scripts: the environment every Wine process of the project
# runs in (its own prefix, Chinese locale so the ANSI code page is 936), for
# the architecture that scripts/test-arch.sh chooses.
_snipora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SNIPORA_TEST_ARCH=$("$_snipora_root/scripts/test-arch.sh")
export SNIPORA_TEST_ARCH
if [ "$SNIPORA_TEST_ARCH" = i686 ]; then
  export WINEARCH=win32
  WINE=/usr/lib/wine/wine
else
  export WINEARCH=win64
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
fi
export WINEPREFIX=${SNIPORA_WINEPREFIX:-$_snipora_root/.deps/wine-$SNIPORA_TEST_ARCH}
# Debian's wineserver wrapper forces -p0; call the server itself
if [ -x /usr/lib/wine/wineserver64 ]; then WINESERVER=/usr/lib/wine/wineserver64; else WINESERVER=/usr/lib/wine/wineserver32; fi
export WINESERVER
export WINEDEBUG=${WINEDEBUG:--all}
# SNIPORA_DLL_OVERRIDES adds overrides for one program (a test whose stand-in
# replaces a library Wine would otherwise take from its own builtins)
export WINEDLLOVERRIDES="mscoree,mshtml=${SNIPORA_DLL_OVERRIDES:+;$SNIPORA_DLL_OVERRIDES}"
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
unset _snipora_root
