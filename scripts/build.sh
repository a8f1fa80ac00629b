#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configure (once) and build into DIR.
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
if [ ! -f "$root/$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
fi
cmake --build "$root/$dir" -j"$jobs"
