#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix. CMake uses it as the
# cross-compiling emulator, so ctest runs every test program through it.
# SNIPORA_WINVER (winxp, vista, win7, win10, ...) sets the Windows version that
# this program (by its file name) sees for this run only.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"

if [ -z "${SNIPORA_WINVER:-}" ]; then
  exec "$WINE" "$@"
fi
key="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")"
"$WINE" reg add "$key" /v Version /d "$SNIPORA_WINVER" /f >/dev/null 2>&1
"$WINE" "$@"
rc=$?
"$WINE" reg delete "$key" /f >/dev/null 2>&1
exit $rc
