#!/usr/bin/env bash
# g++ 12 miscompiles two forms of co_await: the awaiter is destroyed twice (a use-after-free that
# only the sanitizers show) when it is awaited directly in an if/while condition, or when it is a
# braced aggregate temporary. Keep both out of the tree: await into a local first, and give
# awaiters a constructor.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
hits=$(grep -rnE '\b(if|while) *\(.*\bco_await\b|co_await +[A-Za-z_:<>]+\{' \
    "$root/src" "$root/tests" "$root/bench" --include='*.cpp' --include='*.h' || true)
if [ -n "$hits" ]; then
    echo "co_await forms that g++ 12 miscompiles (await into a local; no braced awaiters):" >&2
    printf '%s\n' "$hits" >&2
    exit 1
fi
