#!/usr/bin/env bash
# Creates the project's Wine prefix once and applies the settings tests rely
# on. Serialised with a lock: two first starts on one fresh prefix must not race.
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/wine-env.sh"

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9

marker=$WINEPREFIX/.snipora-ready
[ -f "$marker" ] && exit 0

DISPLAY= "$WINE" wineboot -i >/dev/null 2>&1
reg() { DISPLAY= "$WINE" reg add "$@" /f >/dev/null 2>&1; }
# no crash dialog: a crashing test must end, not wait for a click
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
# without a window manager, managed windows add ~2 s to every GUI exit
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
# caption buttons are drawn with Marlett: without it they show as letters
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
  mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
"$WINESERVER" -w
touch "$marker"
