#!/usr/bin/env bash
# Installs what is missing, builds Talmeru and starts the window program, opening the bank
# file given, if any. Without a display it says how to run it instead.
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps
talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$TALMERU_ROOT/build" -j2 --target talmeru talmeru-cli >&2
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<MSG
No display: Talmeru is a window program (neither DISPLAY nor WAYLAND_DISPLAY is set).
  - on a desktop, run ./run.sh there;
  - from a remote shell: ssh -X, then ./run.sh;
  - headless (nothing to see, e.g. for a screenshot): xvfb-run -a ./run.sh [bank];
    tools/screenshot.sh makes docs/screenshot.png that way;
  - the command-line librarian works without one: build/src/talmeru-cli --help
MSG
  exit 2
fi
exec "$TALMERU_ROOT/build/src/talmeru" "$@"
