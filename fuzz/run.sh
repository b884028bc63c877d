#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# on) and runs each for a bounded time or number of runs, starting from the seed corpus.
#
#   fuzz/run.sh                  every target for 60 s
#   fuzz/run.sh -t 300           every target for 300 s
#   fuzz/run.sh -n 1000000       every target for one million runs
#   fuzz/run.sh markdown gateway_frames     only these targets
#
# What a target finds goes to build-fuzz/crashes/<target>/; copy it into
# fuzz/regressions/<target>/ once fixed, so the replay test keeps it fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=0
while getopts "t:n:" opt; do
  case "$opt" in
    t) seconds="$OPTARG" ;;
    n) runs="$OPTARG" ;;
    *) echo "usage: $0 [-t seconds | -n runs] [target...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_FUZZ=ON
fi
cmake --build "$build" --target fuzzers -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

export QT_QPA_PLATFORM=offscreen
status=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  crashes="$build/crashes/$target"
  mkdir -p "$work" "$crashes"
  limit=(-max_total_time="$seconds")
  [ "$runs" -gt 0 ] && limit=(-runs="$runs")
  log="$build/$target.log"
  if "$build/fuzz/fuzz_$target" "${limit[@]}" -artifact_prefix="$crashes/" -print_final_stats=1 \
      "$work" "fuzz/corpus/$target" > "$log" 2>&1; then
    result=ok
  else
    result=CRASH
    status=1
  fi
  executed=$(awk '/stat::number_of_executed_units/ {print $2; exit}' "$log")
  speed=$(awk '/stat::average_exec_per_sec/ {print $2; exit}' "$log")
  printf '%-16s %-6s %12s runs %8s runs/s\n' "$target" "$result" "${executed:-?}" "${speed:-?}"
done
exit $status
