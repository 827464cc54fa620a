#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window on the MA-1 emulator under Xvfb, with settings
# and ROM bank cache in a scratch folder so that no first-start notice is in the way.
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps
talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$TALMERU_ROOT/build" -j2 --target talmeru talmeru-cli >&2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export TALMERU_HOME="$home"
"$TALMERU_ROOT/build/src/talmeru-cli" rom "$home/Rombank0103.pbf" >/dev/null
printf '[Install]\nVersion=327\n[State]\nMainFrame-Position=0 0 900 560\n' >"$home/talmeru.ini"
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$TALMERU_ROOT/build/src/talmeru" --screenshot "$TALMERU_ROOT/docs/screenshot.png"
echo "docs/screenshot.png written" >&2
