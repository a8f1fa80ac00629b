#!/usr/bin/env bash
# demo.sh BUILD_DIR [terminal args...]
# Starts the terminal. When the user's registry has no line switched on, it
# starts a demonstration instead: a profile of its own (registry file and
# working folder), exchange 1 wired to a freshly started varnel-sim with a
# visible call rate. Closing the terminal stops the simulator. A second start
# while a terminal of this build runs only brings that one to the front.
set -euo pipefail
bin=$(cd "${1:?usage: demo.sh BUILD_DIR [args]}" && pwd)
shift

key_root='\Software\ZezozuDaruduri'
user_registry=${VARNEL_REGISTRY:-${XDG_CONFIG_HOME:-$HOME/.config}/ZezozuDaruduri/registry.ini}

# Reads a value with varnel-tool; status 1 when the tool cannot answer.
tool_get() {
    [ -x "$bin/varnel-tool" ] || return 1
    VARNEL_REGISTRY=$1 "$bin/varnel-tool" registry get "$2" "$3" 2>/dev/null
}

# True when exchange n's line is switched on ("In" = true) in the registry file.
line_on() {
    local file=$1 n=$2 value
    if value=$(tool_get "$file" "$key_root\\ATS $n" In); then
        [ "$value" = true ] || [ "$value" = 1 ]
        return
    fi
    # The file as the settings store writes it: [Software] then
    # ZezozuDaruduri\ATS%20N\In=true.
    [ -f "$file" ] && grep -Eq "^ZezozuDaruduri\\\\ATS%20${n}\\\\In=(true|1)[[:space:]]*$" "$file"
}

# Sets a value in the registry file: with varnel-tool when it can, else by
# editing the file (other values are kept).
ini_set() {
    local file=$1 key=$2 name=$3 value=$4 type=$5
    if [ -x "$bin/varnel-tool" ] &&
        VARNEL_REGISTRY=$file "$bin/varnel-tool" registry set "$key_root\\$key" "$name" "$value" "--$type" \
            >/dev/null 2>&1; then
        return
    fi
    local ini_key="ZezozuDaruduri\\${key// /%20}\\$name"
    local tmp="$file.tmp"
    touch "$file"
    K=$ini_key V=$value awk '
        BEGIN { k = ENVIRON["K"]; line = k "=" ENVIRON["V"] }
        index($0, k "=") == 1 { next }
        /^\[Software\]$/ { print; print line; done = 1; next }
        { print }
        END { if (!done) { print "[Software]"; print line } }' "$file" >"$tmp"
    mv "$tmp" "$file"
}

configured=false
for n in 1 2 3 4; do
    if line_on "$user_registry" "$n"; then configured=true; fi
done
if $configured; then
    exec "$bin/varnel" "$@"
fi

if [ ! -x "$bin/varnel-sim" ]; then
    echo "No varnel-sim in $bin: starting the terminal without the demonstration." >&2
    exec "$bin/varnel" "$@"
fi

# A terminal of this build already runs: it comes to the front, and nothing of
# its profile, line or simulator is touched.
if "$bin/varnel" --activate 2>/dev/null; then
    echo "The terminal is already running: brought to the front."
    exit 0
fi

profile=${XDG_DATA_HOME:-$HOME/.local/share}/varnel-demo
mkdir -p "$profile/work"
# One demonstration per profile: its lock is held for the life of the
# terminal (the terminal inherits it, the simulator does not). Another start
# waits for that terminal to answer and hands over to it.
exec 9>>"$profile/demo.lock"
if ! flock -n 9; then
    for _ in $(seq 100); do
        if "$bin/varnel" --activate 2>/dev/null; then
            echo "The demonstration is already running: brought to the front."
            exit 0
        fi
        flock -n 9 && break
        sleep 0.1
    done
    if ! flock -n 9; then
        echo "Another demonstration is starting in $profile; try again later." >&2
        exit 1
    fi
fi
echo "Demonstration: no exchange line is configured; exchange 1 is wired to the simulator."
echo "Demo profile: $profile (registry.ini, work/, varnel-sim.log)"
echo "Start with --no-demo to use your own configuration."

# Output files are replaced, never truncated: a simulator left from an earlier
# run may still write to the old ones. The last run's log is kept as .1.
sim_out="$profile/varnel-sim.out"
sim_log="$profile/varnel-sim.log"
rm -f "$sim_out"
if [ -f "$sim_log" ]; then mv -f "$sim_log" "$sim_log.1"; fi
sim_script="$profile/varnel-sim.script"
: >"$sim_script"
# The simulated exchange's own console: a line written to this pipe is a
# command of the simulator (sim/README.md), e.g. "unloader" starts the version
# unloader that an engineer would start at the exchange.
control="$profile/varnel-sim.control"
[ -p "$control" ] || { rm -f "$control" && mkfifo "$control"; }
exec 8<>"$control"

# ---- Demo profile: sample destination tables, an automatic script, the
# exchange's name and a fault or two. Each is made only when missing, so a
# user's changes to an existing profile are kept.
demo_data=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/demo
mkdir -p "$profile/work/Tables" "$profile/work/Rulon"
for table in Sng Foren; do
    if [ ! -e "$profile/work/Tables/$table.db" ] && [ -f "$demo_data/$table.csv" ]; then
        (cd "$profile/work" && VARNEL_REGISTRY="$profile/registry.ini" \
            "$bin/varnel-tool" load ":PelmarkStandard:$table.db" "$demo_data/$table.csv") \
            >/dev/null 2>&1 || echo "Could not make the sample table $table.db" >&2
    fi
done
if [ ! -e "$profile/work/Rulon/Auto1.txt" ] && [ -f "$demo_data/Auto1.txt" ]; then
    iconv -f UTF-8 -t CP1251 "$demo_data/Auto1.txt" >"$profile/work/Rulon/Auto1.txt" ||
        rm -f "$profile/work/Rulon/Auto1.txt"
fi
tool_get "$profile/registry.ini" "$key_root\\ATS 1" Name >/dev/null ||
    ini_set "$profile/registry.ini" "ATS 1" Name "Центральная" string
# State words with a fault or two; VARNEL_DEMO_FAULTS=0 makes the exchange sound.
if [ "${VARNEL_DEMO_FAULTS:-1}" = 0 ]; then echo "faults off"; else echo "faults on"; fi \
    >>"$sim_script"
# ---- end of the demo profile block
"$bin/varnel-sim" --calls "${VARNEL_DEMO_CALLS:-6}" --hold "${VARNEL_DEMO_HOLD:-30}" --verbose \
    --script "$sim_script" <&8 >"$sim_out" 2>>"$sim_log" 8>&- 9>&- &
sim_pid=$!
stop_sim() {
    if kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

device=
for _ in $(seq 100); do
    device=$(head -n 1 "$sim_out" 2>/dev/null || true)
    [ -n "$device" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
done
if [ -z "$device" ]; then
    echo "varnel-sim did not start; see $sim_log" >&2
    exit 1
fi
echo "Simulator on $device"

registry="$profile/registry.ini"
ini_set "$registry" "Ports" 1 "$device" string
ini_set "$registry" "ATS 1" Port 1 int
ini_set "$registry" "ATS 1" In true bool
# The demonstration starts unlocked; the "Пароль" button switches password use on.
tool_get "$registry" "$key_root\\Current ATS" PasswEn >/dev/null ||
    ini_set "$registry" "Current ATS" PasswEn false bool

cd "$profile/work"
status=0
VARNEL_REGISTRY=$registry "$bin/varnel" "$@" 8>&- || status=$?
exit "$status"
