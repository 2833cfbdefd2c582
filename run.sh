#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its dialog under Wine. Without a
# display it runs the dialog on a virtual one, saves a screenshot to build/screenshot.png
# and closes the program again.
set -euo pipefail
cd "$(dirname "$0")"

# Second stage, run by this script itself inside the virtual display: start the program,
# wait for its dialog, take the picture, close the program.
if [ "${1:-}" = --screenshot ]; then
  . tools/wine-env.sh
  "$WINE_LOADER" "$2" &
  program=$!
  # The dialog's title, as res/resource.h defines it for the program.
  caption=$(sed -n 's/^#define APP_CAPTION_TEXT "\(.*\)"$/\1/p' res/resource.h)
  # A fresh Wine prefix can take a while; wait up to a minute for the dialog to be mapped.
  for i in $(seq 1 120); do
    if command -v xwininfo >/dev/null; then
      xwininfo -root -tree 2>/dev/null | grep -qF "$caption" && break
    elif [ "$i" -ge 20 ]; then
      break
    fi
    sleep 0.5
  done
  sleep 1   # let it finish painting
  import -window root build/screenshot.png
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  exit 0
fi

./tools/install-deps.sh
. tools/wine-env.sh

# The shipped program is the 32-bit build; it is always built.
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j 2
if [ "$WIN_PRESET" != win32 ]; then
  echo "This machine cannot execute 32-bit code: running the 64-bit build of the same sources."
  cmake --preset "$WIN_PRESET" >/dev/null
  cmake --build --preset "$WIN_PRESET" -j 2
fi
exe=build/$WIN_PRESET/bin/QuorvelBase64.exe
wine_prefix_ready

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting $exe"
  exec "$WINE_LOADER" "$exe"
fi

echo "No display: running $exe on a virtual screen."
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --screenshot "$exe"
echo "Screenshot saved to $(pwd)/build/screenshot.png; the program has been closed."
