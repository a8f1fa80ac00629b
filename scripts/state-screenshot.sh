#!/usr/bin/env bash
# state-screenshot.sh [BUILD_DIR] [OUT.png]: pictures the "Состояние АТС" tab
# after a state summary against the simulator (showing faults), under Xvfb,
# into docs/state.png. It runs the window test that does the summary, with
# the real six-second waits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/state.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
xvfb-run -a -s "-screen 0 1280x900x24" \
    env QT_QPA_PLATFORM=xcb VARNEL_STATE_SHOT="$out" \
    "$build/test_state" --gtest_filter='StatePagesSim.*' >/dev/null
[ -s "$out" ] || { echo "no screenshot made" >&2; exit 1; }
echo "$out"
