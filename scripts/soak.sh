#!/usr/bin/env bash
# The soak: `zqdl soak` of the ThreadSanitizer build for SECONDS (overlapping queries, some
# withdrawn and some joined; business-component loads and saves with image uploads; list screens
# that page and refresh; field look-ups and a prompt rule, all in one process) against a sample
# server in a process of its own, so that the memory figures are the library's alone; then the
# crash loops a hundred times per answer. A data race, an answer that came twice or after its
# withdrawal, an error, an operation past the watchdog, memory that grew by more than a quarter
# after the first minute, or a failed crash loop stops it.
# Usage: scripts/soak.sh BUILD_DIR SECONDS
set -euo pipefail
build="$1"
seconds="${2:-600}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(cd "$(dirname "$0")/.." && pwd)/tests/tsan.supp"
zqdl="$build/tools/zqdl/zqdl"
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

"$zqdl" --app-dir "$work/server" serve --port 0 >"$work/serve.log" 2>&1 &
server=$!
for _ in $(seq 150); do
    grep -q '^serving ' "$work/serve.log" && break
    sleep 0.2
done
url=$(sed -n 's/^serving \([^ ]*\) .*/\1/p' "$work/serve.log")
[ -n "$url" ] || { echo "soak: the sample server did not start:"; cat "$work/serve.log"; exit 1; }

echo "soak: $seconds s of mixed load against $url"
timeout $((seconds + 300)) "$zqdl" --app-dir "$work/app" --server "$url" \
    soak --seconds "$seconds" --report-every 60 \
    || { echo "soak: the mixed load failed"; exit 1; }

ZQ_CRASH_LOOPS=100 timeout 3600 "$build/tests/tools_tests" --gtest_filter='ZqdlCrashLoop.*' \
    | grep -E "runs killed|OK|FAILED"
echo "soak: $seconds s of mixed load, and the crash loops, passed"
