#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configure (once) and build into DIR.
# ccache, when present, caches compilations across builds and clones: paths
# under the checkout's parent folder are hashed relative to the build folder.
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
    export CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f "$root/$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/$dir" "${launcher[@]}" "$@" >/dev/null
fi
cmake --build "$root/$dir" -j"$jobs"
