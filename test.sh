#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; then builds the bank
# engine with AddressSanitizer and UndefinedBehaviorSanitizer and runs its tests there.
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps

werror=OFF
[[ -n "${CI:-}" ]] && werror=ON

talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMERU_WERROR=$werror
cmake --build "$TALMERU_ROOT/build" -j2

talmeru_configure "$TALMERU_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTALMERU_WERROR=$werror \
  -DTALMERU_SANITIZE=ON -DTALMERU_CORE_ONLY=ON
cmake --build "$TALMERU_ROOT/build-asan" -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== bank engine under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir "$TALMERU_ROOT/build-asan" -j2 --output-on-failure
echo "== all tests"
ctest --test-dir "$TALMERU_ROOT/build" -j2 --output-on-failure
