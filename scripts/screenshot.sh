#!/usr/bin/env bash
# screenshot.sh [BUILD_DIR] [OUT.png]: pictures the main window under Xvfb
# into docs/screenshot.png. The terminal runs with a registry and a working
# folder of its own (a sample roll for exchange 1), so the user's settings
# are neither read nor changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/screenshot.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Rulon"
export VARNEL_REGISTRY="$work/registry.ini"
export VARNEL_INSTANCE="varnel-screenshot-$$"

# A short roll: two directives and the exchange's answers, as the terminal
# writes them (Windows-1251, CR LF, stamp, two spaces).
{
    printf '\r\n9,05|05,12,26|  МВ_-'
    printf '\r\n9,05|05,12,26|  ВРЕМЯ_09.05_05.12.26'
    printf '\r\n9,06|05,12,26|  ТО_5,-'
    printf '\r\n9,06|05,12,26|  БГ_0_РАБОТА_БГ_1_РЕЗЕРВ'
    printf '\r\n9,07|05,12,26|  УК_6,-'
    printf '\r\n9,07|05,12,26|  КС_0_5A3F_КС_1_5A3F'
} | iconv -f UTF-8 -t CP1251 > "$work/Rulon/Varnel1.rul"

if [ -x "$build/varnel-tool" ]; then
    key='\Software\ZezozuDaruduri\ATS '
    "$build/varnel-tool" registry set "${key}1" Name "Центральная" --string >/dev/null
    "$build/varnel-tool" registry set "${key}2" Name "Северная" --string >/dev/null
    "$build/varnel-tool" registry set '\Software\ZezozuDaruduri\Current ATS' PasswEn false \
        --bool >/dev/null
fi

cd "$work"
xvfb-run -a -s "-screen 0 1280x900x24" \
    env QT_QPA_PLATFORM=xcb "$build/varnel" --screenshot "$out"
[ -s "$out" ] || { echo "no screenshot made" >&2; exit 1; }
echo "$out"
