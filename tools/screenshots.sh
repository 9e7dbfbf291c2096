#!/usr/bin/env bash
# Writes docs/launcher.png and docs/game.png: the real windows under Wine in a private Xvfb;
# docs/launcher-200.png: the launcher at 200 % (192 DPI, in the build's high-DPI prefix, on a
# screen large enough for it); and docs/launcher-page.png: the sample launcher page at the
# launcher's size in headless Chromium, as an ordinary browser shows it after a click.
# OrvaneScreens.exe (tools/ScreenshotDriver.cpp) runs the application, photographs the
# launcher, hands over to the game window through the page's outLink and photographs it with
# its tray menu open (docs/game-menu.png) and with its exit confirmation open. Wine has no HTML
# engine here, so both page areas stay empty. docs/diagnosis.png: Orvane.exe /diagnose with a
# start page on a closed port of 127.0.0.1 (no name is looked up, nothing leaves the machine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

if [ "${1:-}" != "--in-display" ]; then
  bash tools/deps.sh
  cmake --preset test >/dev/null
  cmake --build --preset test --target OrvaneScreens Orvane
  rm -rf build/shots/out
  mkdir -p build/shots/out
  cp build/test/OrvaneScreens.exe build/shots/OrvaneScreens.exe
  cp res/config.ini.example build/shots/config.ini
  rm -rf build/shots/diagnose
  mkdir -p build/shots/diagnose
  cp build/test/Orvane.exe build/shots/diagnose/Orvane.exe
  printf '[mw]\r\nclient_web=http://127.0.0.1:9/start\r\n' >build/shots/diagnose/config.ini
  /usr/bin/python3 tests/launcher_page_test.py --screenshot build/shots/out/launcher-page.png >/dev/null
  convert build/shots/out/launcher-page.png -strip docs/launcher-page.png
  # A screen just wider than the launcher keeps the game window's text at its real size; -br: a
  # plain black desktop behind the launcher's transparent edges.
  xvfb-run -a -s "-screen 0 1280x960x24 -br" bash "$0" --in-display
  # 200 %: the launcher at 2514 x 1754 needs a screen at least that large.
  exec xvfb-run -a -s "-screen 0 2560x1920x24 -br" bash "$0" --in-display --dpi 192
fi

source "$root/tools/wine-env.sh"
if [ "${2:-}" = "--dpi" ]; then
  trap wine_env_down EXIT
  wine_env_up "$root/build/shots" "$3" || exit 1
  cd "$root/build/shots"
  timeout 180 "$WINE" ./OrvaneScreens.exe 'out\launcher-200.png' 'out\game-200.png'
  convert out/launcher-200.png -strip "$root/docs/launcher-200.png"
  echo "wrote docs/launcher-200.png"
  exit 0
fi

wine_env_up "$root/build/shots"
trap wine_env_down EXIT
cd "$root/build/shots"
timeout 180 "$WINE" ./OrvaneScreens.exe 'out\launcher.png' 'out\game.png' 'out\game-menu.png'
# No time or tool chunks: a picture that did not change keeps its bytes.
convert out/launcher.png -strip "$root/docs/launcher.png"
convert out/game.png -strip "$root/docs/game.png"
convert out/game-menu.png -strip "$root/docs/game-menu.png"
# The diagnosis window alone: the screen with it on the black desktop, trimmed to the window.
cd diagnose
"$WINE" ./Orvane.exe /diagnose &
diagnose=$!
cd ..
sleep 10
import -window root out/diagnose-screen.png
kill "$diagnose" 2>/dev/null || true
convert out/diagnose-screen.png -trim +repage -strip "$root/docs/diagnosis.png"
echo "wrote docs/launcher.png, docs/game.png, docs/game-menu.png, docs/launcher-page.png, docs/diagnosis.png"
