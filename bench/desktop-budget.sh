#!/usr/bin/env bash
# Measures the desktop application's budget (idle memory and CPU, pill latency) on the headless
# session of the tests. Usage: bench/desktop-budget.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
ninja -C "$build" desktop_budget ui_bench sayloom >/dev/null
"$root/scripts/lib/headless-session.sh" "$build/bench/desktop_budget" "$build/src/sayloom"
"$root/scripts/lib/headless-session.sh" "$build/bench/ui_bench"
