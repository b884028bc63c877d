#!/usr/bin/env bash
# Runs the whole test suite several times in a row while stress-ng keeps every core busy, to
# find tests that depend on timing. Usage: scripts/stress-test.sh [runs [ctest arguments...]]
# (default 10 runs of every test; e.g. `scripts/stress-test.sh 3 -R gateway` for some tests).
#
# Each run is the suite as ./test.sh runs it (private D-Bus session, every core for ctest),
# bounded by KESTOVA_STRESS_RUN_TIMEOUT seconds (default 1800). Every failed test is reported
# with its run and any seed its output printed; the logs stay in <build>/stress/. stress-ng
# (one CPU worker per core unless KESTOVA_STRESS_WORKERS says otherwise) is stopped on exit,
# and its own time-out ends it even if this script is killed.
# Exit status: 0 when every run passed, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-10}"
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [runs [ctest arguments...]]" >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))
BUILD_DIR="${KESTOVA_BUILD_DIR:-build}"
run_timeout="${KESTOVA_STRESS_RUN_TIMEOUT:-1800}"
workers="${KESTOVA_STRESS_WORKERS:-$(nproc)}"

command -v stress-ng >/dev/null || ./scripts/setup.sh
./scripts/build.sh

logs="$BUILD_DIR/stress"
rm -rf "$logs"
mkdir -p "$logs"

stress_pid=""
run_pid=""
stop_all() {
  # timeout passes the signal on to the whole run it bounds.
  if [ -n "$run_pid" ]; then
    kill "$run_pid" 2>/dev/null || true
    wait "$run_pid" 2>/dev/null || true
    run_pid=""
  fi
  if [ -n "$stress_pid" ]; then
    kill "$stress_pid" 2>/dev/null || true
    wait "$stress_pid" 2>/dev/null || true
    stress_pid=""
  fi
}
trap stop_all EXIT
trap 'echo "stress: interrupted"; exit 130' INT TERM

stress-ng --cpu "$workers" --timeout "$((runs * run_timeout + 60))s" --quiet &
stress_pid=$!
echo "stress: $runs runs of the suite, stress-ng --cpu $workers on $(nproc) cores, logs in $logs"

# The failed tests of one run's JUnit report, one line each: name, then any seed printed.
report_failures() {
  python3 - "$1" <<'PY'
import re, sys
import xml.etree.ElementTree as ET
try:
    root = ET.parse(sys.argv[1]).getroot()
except Exception as error:
    print(f"  (no test report: {error})")
    sys.exit(0)
seed = re.compile(r"seed\D{0,40}?(\d+)", re.IGNORECASE)
for case in root.iter("testcase"):
    if case.get("status") not in ("fail", "failed") and case.find("failure") is None:
        continue
    output = "".join(node.text or "" for node in case.iter() if node.tag in ("system-out", "failure"))
    seeds = sorted(set(seed.findall(output)))
    line = f"  FAILED {case.get('name')}"
    if seeds:
        line += " seed=" + ",".join(seeds)
    print(line)
    for text in re.findall(r"^(FAIL!.*|\s+Loc: .*)$", output, re.MULTILINE)[:4]:
        print("    " + text.strip())
PY
}

failed_runs=0
started=$SECONDS
for run in $(seq 1 "$runs"); do
  run_started=$SECONDS
  status=0
  # In the background, so that an interrupt is handled at once and not after the run.
  timeout --kill-after=30 "$run_timeout" ./scripts/test-session.sh ctest --test-dir "$BUILD_DIR" \
    --output-on-failure --parallel "$(nproc)" --output-junit "$PWD/$logs/run-$run.xml" "$@" \
    >"$logs/run-$run.log" 2>&1 &
  run_pid=$!
  wait "$run_pid" || status=$?
  run_pid=""
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  summary=$(grep -E "tests passed, [0-9]+ tests failed" "$logs/run-$run.log" | tail -1 || true)
  if [ "$status" -eq 0 ]; then
    echo "run $run: passed in $((SECONDS - run_started)) s, load $load: ${summary:-no summary}"
    continue
  fi
  failed_runs=$((failed_runs + 1))
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "run $run: TIMED OUT after $run_timeout s, load $load"
  else
    echo "run $run: FAILED (status $status) in $((SECONDS - run_started)) s, load $load: ${summary:-no summary}"
  fi
  report_failures "$logs/run-$run.xml"
done

echo "stress: $runs runs, $failed_runs failed, $((SECONDS - started)) s in all, stress-ng --cpu $workers"
[ "$failed_runs" -eq 0 ]
