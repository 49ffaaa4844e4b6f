#!/usr/bin/env bash
# The long soak: 200 dictations in a row through the real application on the test session, with
# the process's memory, threads and open files compared after the first ten and at the end.
# Usage: bench/soak.sh [BUILD_DIR] [DICTATIONS]   (defaults: build, 200)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
export SAYLOOM_SOAK_DICTATIONS=${2:-200}
ninja -C "$build" end_to_end_tests sayloom sayloom_qt_fields >/dev/null
"$root/scripts/lib/headless-session.sh" "$build/tests/integration/end_to_end_tests" \
    --gtest_filter='*ManyDictationsInARow*'
