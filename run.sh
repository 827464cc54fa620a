#!/usr/bin/env bash
# Installs what is missing, builds Talmeru and starts the window program, opening the bank
# file given, if any. Without a display talmeru says how to run it instead.
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps
talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$TALMERU_ROOT/build" -j2 --target talmeru talmeru-cli >&2
exec "$TALMERU_ROOT/build/src/talmeru" "$@"
