#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each target for a bounded time, starting
# from the committed seeds in fuzz/corpus/<effect>. New inputs go to the build
# tree, never to the committed corpus. Exits non-zero when a target finds a
# fault; the input that shows it is kept in <build>/findings.
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_BUILD     build folder (default build/fuzz)
# Replaying a finding step by step:
#   FUZZ_TRACE=1 build/fuzz/bin/gainFuzz build/fuzz/findings/gain-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for effect in qern gain; do
  work="$build/corpus/$effect"
  mkdir -p "$work" "$build/findings"
  echo "== ${effect}Fuzz for ${seconds} s"
  if ! "$build/bin/${effect}Fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$effect-" "$work" "fuzz/corpus/$effect" \
    >"$build/$effect.log" 2>&1; then
    status=1
    grep -E "FINDING|ERROR|runtime error|SUMMARY" "$build/$effect.log" | head -n 20 || true
    echo "${effect}Fuzz: a finding; input kept in $build/findings, log in $build/$effect.log"
  else
    grep -E "^stat::number_of_executed_units|^Done" "$build/$effect.log" || true
  fi
done
exit $status
