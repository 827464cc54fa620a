#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; builds the bank engine
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs its tests there; then runs
# every fuzz target over its seed corpus and briefly beyond.
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

echo "== fuzz targets: their seed corpora, then a short run each"
FUZZ_JOBS=2 FUZZ_SEED=1 "$TALMERU_ROOT/fuzz.sh" 10
