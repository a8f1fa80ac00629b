#!/usr/bin/env bash
# stats-screenshots.sh [BUILD_DIR] [OUT_DIR]: pictures of the statistics
# windows of every kind (overview and detail) under Xvfb, taken by bench_stats
# against the simulator, into docs/ (stats-vk.png, stats-vk-napr.png,
# stats-ik.png, stats-ik-napr.png, stats-pb.png, stats-ak.png,
# stats-ak-napr.png, stats-isk.png, stats-isk-napr.png, stats-vsk.png,
# stats-vsk-napr.png). The run has a registry and working folder of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs}
mkdir -p "$out"
out=$(cd "$out" && pwd)
export VARNEL_INSTANCE="varnel-stats-screenshots-$$"
xvfb-run -a -s "-screen 0 1280x900x24" \
    env QT_QPA_PLATFORM=xcb "$build/bench_stats" 3 --screenshots "$out"
