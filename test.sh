#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; builds the bank engine
# with AddressSanitizer and UndefinedBehaviorSanitizer (clang, with the fuzz targets) and runs
# its tests there; then runs every fuzz target over its seed corpus and briefly beyond; then
# cross-builds talmeru-cli.exe with MinGW-w64 and runs the Qt-free tests under Wine
# (TALMERU_SKIP_WINDOWS=1 leaves that out of a quick local run; CI always runs it).
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps
"$TALMERU_ROOT/tools/check-layers.sh"

werror=OFF
[[ -n "${CI:-}" ]] && werror=ON

talmeru_configure "$TALMERU_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMERU_WERROR=$werror
cmake --build "$TALMERU_ROOT/build" -j2

# One sanitizer build for the engine's tests and the fuzz targets.
export FUZZ_BUILD="$TALMERU_ROOT/build-fuzz"
talmeru_configure_fuzz
cmake --build "$FUZZ_BUILD" -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions="$TALMERU_ROOT/fuzz/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== bank engine under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir "$FUZZ_BUILD" -j2 --output-on-failure
echo "== all tests"
ctest --test-dir "$TALMERU_ROOT/build" -j2 --output-on-failure

echo "== fuzz targets: their seed corpora, then a short run each"
FUZZ_JOBS=2 FUZZ_SEED=1 "$TALMERU_ROOT/fuzz.sh" 10

if [[ -n "${CI:-}" || -z "${TALMERU_SKIP_WINDOWS:-}" ]]; then
  echo "== Windows: talmeru-cli.exe and the Qt-free tests under Wine"
  "$TALMERU_ROOT/tools/windows/build.sh"
fi
