#!/usr/bin/env bash
# The soak: the ThreadSanitizer build's concurrent suites (overlapping and joined queries, cancels,
# refreshes, business-component loads and saves with uploads, provider loads, field look-ups, all
# against loopback and sample servers) run again and again for SOAK_SECONDS, then the crash loops
# a hundred times per answer. Any data race, deadlock (a run past its time-out) or failure stops it.
# Usage: scripts/soak.sh BUILD_DIR SECONDS
set -euo pipefail
build="$1"
seconds="${2:-600}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
filter='ManagerConcurrency.*:ManagerCancel.*:ManagerLoad.*:Stores/HandlersTest.*:Stores/SaveHandlersTest.*:Stores/WriteThroughTest.*:ObjectUploader.*:FieldServiceSampleServerTest.*:RemoteProvidersEndToEnd.*:SampleServerThroughTheLibrary.*'
end=$(( $(date +%s) + seconds ))
rounds=0
while [ "$(date +%s)" -lt "$end" ]; do
    rounds=$((rounds + 1))
    # The suite's own exit status decides; a hang is ended by timeout and fails it.
    timeout 900 "$build/tests/library_tests" --gtest_filter="$filter" --gtest_brief=1 >/dev/null \
        || { echo "soak: round $rounds failed"; exit 1; }
    echo "soak: round $rounds passed ($(( end - $(date +%s) )) s left)"
done
ZQ_CRASH_LOOPS=100 timeout 3600 "$build/tests/tools_tests" --gtest_filter='ZqdlCrashLoop.*' \
    | grep -E "runs killed|OK|FAILED"
echo "soak: $rounds rounds in $seconds s, and the crash loops, passed"
