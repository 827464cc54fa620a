#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each over its seed corpus (made by the project's own writers) and then for the given
# number of seconds (default 60). FUZZ_JOBS targets run at once (default 1); FUZZ_SEED fixes
# the random seed. Findings are
# left in build-fuzz/findings/, the grown corpora in build-fuzz/corpus/.
#   ./fuzz.sh [seconds] [target ...]
set -euo pipefail
TALMERU_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$TALMERU_ROOT/tools/common.sh"
talmeru_install_deps

seconds=${1:-60}
shift || true
build="${FUZZ_BUILD:-$TALMERU_ROOT/build-fuzz}"
talmeru_configure_fuzz
targets=("$@")
((${#targets[@]})) || targets=(pbf tmb syx apex wav stream sysex_reply store ini sf2 krz midi voice)
cmake --build "$build" -j2 --target make_seeds "${targets[@]/#/fuzz_}" >&2

rm -rf "$build/seeds" "$build/findings"
"$build/fuzz/make_seeds" "$build/seeds"
mkdir -p "$build/findings"

run_one() {
  local t=$1 corpus="$build/corpus/$1"
  mkdir -p "$corpus"
  cp -n "$build/seeds/$t"/* "$corpus"/ 2>/dev/null || true
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      LSAN_OPTIONS=suppressions="$TALMERU_ROOT/fuzz/lsan.supp" \
      "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
      -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$t-" ${FUZZ_SEED:+-seed=$FUZZ_SEED} \
      >"$build/fuzz_$t.log" 2>&1; then
    echo "fuzz_$t: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$build/fuzz_$t.log" | grep -o '[0-9]*$') runs," \
      "$(grep -o 'cov: [0-9]*' "$build/fuzz_$t.log" | tail -1) edges, no finding"
  else
    echo "fuzz_$t FOUND A PROBLEM (see $build/fuzz_$t.log):"
    grep -E "ERROR|SUMMARY|runtime error" "$build/fuzz_$t.log" | head -5
    return 1
  fi
}
export -f run_one
export build seconds FUZZ_SEED TALMERU_ROOT
printf '%s\n' "${targets[@]}" | xargs -P "${FUZZ_JOBS:-1}" -I{} bash -c 'run_one {}'
