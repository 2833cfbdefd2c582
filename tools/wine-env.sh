# Sourced by the scripts that run Windows programs: picks the Wine loader and prefix.
# This machine may be unable to execute 32-bit code at all (some kernels lack the 32-bit
# ABI); then only the 64-bit loader runs, and the Windows tests use the win64 build.
# Sets WINE_LOADER, WINEPREFIX, WIN_PRESET and exports the quiet Wine settings.
project_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
if [ -z "${WIN_PRESET:-}" ]; then
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WIN_PRESET=win32
  else
    WIN_PRESET=win64
  fi
fi
if [ "$WIN_PRESET" = win32 ]; then
  WINE_LOADER=${WINE_LOADER:-wine}
  export WINEARCH=win32
else
  WINE_LOADER=${WINE_LOADER:-/usr/lib/wine/wine64}
  export WINEARCH=win64
fi
export WIN_PRESET WINE_LOADER
export WINEPREFIX=${WINEPREFIX:-$project_root/build/wine/$WIN_PRESET}
export WINEDEBUG=${WINEDEBUG:--all}
# No mono or gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The settings a prefix gets beyond wineboot's. Raise the number whenever they change:
# prefixes made before then get them on their next use.
WINE_PREFIX_VERSION=2

# Creates the prefix once and keeps it at WINE_PREFIX_VERSION. Without a window manager
# every closing window would wait for one, and a crash must fail a test, not open a dialog.
# Dialogs are drawn as on Windows only with Wine's own fonts in the prefix: Debian's Wine
# does not look in /usr/share/wine/fonts, where fonts-wine puts them, and without them
# "MS Sans Serif" becomes DejaVu Sans, too wide for the labels, and the caption buttons,
# drawn with Marlett, show as letters.
wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ "$(cat "$WINEPREFIX/.ready" 2>/dev/null)" != "$WINE_PREFIX_VERSION" ]; then
      [ -f "$WINEPREFIX/system.reg" ] || "$WINE_LOADER" wineboot -i >/dev/null 2>&1
      "$WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      "$WINE_LOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      "${WINESERVER:-wineserver}" -w 2>/dev/null
      if [ -d /usr/share/wine/fonts ] && mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" &&
         cp -f /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"; then
        echo "$WINE_PREFIX_VERSION" > "$WINEPREFIX/.ready"
      else
        echo "wine_prefix_ready: Wine's fonts (package fonts-wine) are missing; dialogs will not look as on Windows." >&2
      fi
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.lock-$WIN_PRESET"
}
