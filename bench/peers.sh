#!/usr/bin/env bash
# Times khard, khal and todoman beside the organiser's listings of the same generated
# folders, in one run: for each work the peer's and the kit's median time, their ratio and
# the peak memory of both, then how many items each side listed beside how many the
# generator wrote. Caches are warm (the operating system's always; the indexes the peers
# and the kit keep in the cache folder too, except in the rows marked "no index", where
# both sides' indexes are removed before each run).
#
#   bench/peers.sh [BUILD_DIR]        BUILD_DIR: a Release build (default: build-rel)
#   RUNS=10 RUNS_NO_INDEX=3           repetitions of each timing
#
# Needs khard, khal, todoman (Debian packages), python3 and /usr/bin/time; hyperfine for
# the times when installed (else a loop here). The folders, the peers' configuration files
# and every cache live in one temporary folder that is removed at the end; HOME and the XDG
# folders point into it, so the real home is never read or written.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-rel}" && pwd)
organiser=$build/examples/organiser/organiser
runs=${RUNS:-10}
runs_no_index=${RUNS_NO_INDEX:-3}
for tool in khard khal todoman python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "peers.sh: $tool is missing (apt-get install khard khal todoman time)" >&2; exit 2; }
done
[ -x "$organiser" ] || { echo "peers.sh: no organiser in $build (build the target organiser)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zem-peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run
export TZ=Europe/Berlin LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# ---- The folders: the benchmarks' generator with its default seed ----------------------
echo "Generating the folders in $work ..."
python3 "$here/gen_folders.py" contacts "$work/contacts" 10000 --manifest "$work/contacts.tsv"
python3 "$here/gen_folders.py" calendars "$work/cal7000" 7000 --manifest "$work/cal7000.tsv"
python3 "$here/gen_folders.py" calendars "$work/cal2000" 2000 --manifest "$work/cal2000.tsv"
year_from=2025-01-01 year_last=2025-12-31 year_to=2026-01-01 # khal's end day is inclusive, the kit's end excluded
one_uid=$(sed -n '5000p' "$work/contacts.tsv" | cut -f2)

# ---- The peers' configuration files ----------------------------------------------------
cat >"$work/khard.conf" <<EOF
[addressbooks]
[[bench]]
path = $work/contacts
[general]
editor = /bin/false
merge_editor = /bin/false
EOF
for n in 7000 2000; do
    cat >"$work/khal$n.conf" <<EOF
[calendars]
[[bench]]
path = $work/cal$n/*
type = discover
[locale]
local_timezone = Europe/Berlin
default_timezone = Europe/Berlin
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
[sqlite]
path = $work/khal$n.db
EOF
    cat >"$work/todoman$n.py" <<EOF
path = "$work/cal$n/*"
date_format = "%Y-%m-%d"
time_format = "%H:%M"
cache_path = "$work/todoman$n.sqlite3"
EOF
done

# ---- Measuring -------------------------------------------------------------------------
# median_seconds RUNS PREPARE CMD...: the median wall time of RUNS runs (after one warm-up
# run when PREPARE is empty); PREPARE runs before each run.
median_seconds() {
    local n=$1 prepare=$2
    shift 2
    local command
    command=$(printf '%q ' "$@")
    if command -v hyperfine >/dev/null; then
        local args=(--style none --shell bash --runs "$n" --export-json "$work/h.json")
        if [ -n "$prepare" ]; then args+=(--prepare "$prepare"); else args+=(--warmup 1); fi
        hyperfine "${args[@]}" "$command" >/dev/null
        python3 -c 'import json, sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json"
    else
        [ -n "$prepare" ] || "$@" >/dev/null
        local times=() start
        for _ in $(seq "$n"); do
            [ -z "$prepare" ] || bash -c "$prepare"
            start=$(date +%s%N)
            "$@" >/dev/null
            times+=($(( $(date +%s%N) - start )))
        done
        printf '%s\n' "${times[@]}" | sort -n | awk '{t[NR]=$1} END {m=(NR%2)?t[(NR+1)/2]:(t[NR/2]+t[NR/2+1])/2; printf "%.3f\n", m/1e9}'
    fi
}

# peak_mib PREPARE CMD...: the highest resident memory of three runs, in MiB.
peak_mib() {
    local prepare=$1 peak=0 kib
    shift
    for _ in 1 2 3; do
        [ -z "$prepare" ] || bash -c "$prepare"
        /usr/bin/time -f %M -o "$work/mem" "$@" >/dev/null
        kib=$(tail -1 "$work/mem")
        [ "$kib" -le "$peak" ] || peak=$kib
    done
    echo $(( (peak + 512) / 1024 ))
}

rows=()
# row WORK PEER-NAME RUNS PREPARE KIT-PREPARE PEER-CMD... -- KIT-CMD...
row() {
    local work_name=$1 peer_name=$2 n=$3 prepare=$4 kit_prepare=$5
    shift 5
    local peer=() kit=()
    while [ "$1" != "--" ]; do peer+=("$1"); shift; done
    shift
    kit=("$@")
    echo "Timing: $work_name ($peer_name) ..." >&2
    local peer_s peer_m kit_s kit_m
    peer_s=$(median_seconds "$n" "$prepare" "${peer[@]}")
    peer_m=$(peak_mib "$prepare" "${peer[@]}")
    kit_s=$(median_seconds "$n" "$kit_prepare" "${kit[@]}")
    kit_m=$(peak_mib "$kit_prepare" "${kit[@]}")
    rows+=("$(printf '%-44s %-22s %8s %8s %9s %9s %8s' "$work_name" "$peer_name" "$peer_s" "$kit_s" \
        "$(awk -v k="$kit_s" -v p="$peer_s" 'BEGIN { printf "%.2f", (p > 0) ? k / p : 0 }')" "$peer_m" "$kit_m")")
}

org=("$organiser")
no_kit_index="rm -rf $XDG_CACHE_HOME/zemappkit"
row "10,000 cards, open + every mirrored field" "khard list" "$runs" "" "" \
    khard -c "$work/khard.conf" list -p -- "${org[@]}" --contacts "$work/contacts" --list-contacts
row "one person by UID among 10,000" "khard show -f" "$runs" "" "" \
    khard -c "$work/khard.conf" show -f "uid:$one_uid" -- "${org[@]}" --contacts "$work/contacts" --show-contact "$one_uid"
row "one year of occurrences, 7,000 files" "khal list" "$runs" "" "" \
    khal -c "$work/khal7000.conf" list -df '' -f '{uid} {start} {end}' "$year_from" "$year_last" \
    -- "${org[@]}" --calendars "$work/cal7000" --list-events "$year_from" "$year_to"
row "open to-dos, 7,000 files" "todoman list" "$runs" "" "" \
    todoman --config "$work/todoman7000.py" --porcelain list -- "${org[@]}" --calendars "$work/cal7000" --list-todos
row "open to-dos, 2,000 files" "todoman list" "$runs" "" "" \
    todoman --config "$work/todoman2000.py" --porcelain list -- "${org[@]}" --calendars "$work/cal2000" --list-todos
row "10,000 cards, kit without index" "khard list (none)" "$runs_no_index" "" "$no_kit_index" \
    khard -c "$work/khard.conf" list -p -- "${org[@]}" --contacts "$work/contacts" --list-contacts
row "one year, 7,000 files, no index" "khal list, no index" "$runs_no_index" "rm -f $work/khal7000.db" \
    "$no_kit_index" khal -c "$work/khal7000.conf" list -df '' -f '{uid} {start} {end}' "$year_from" "$year_last" \
    -- "${org[@]}" --calendars "$work/cal7000" --list-events "$year_from" "$year_to"
row "open to-dos, 7,000 files, no index" "todoman, no index" "$runs_no_index" "rm -f $work/todoman7000.sqlite3" \
    "$no_kit_index" todoman --config "$work/todoman7000.py" --porcelain list -- "${org[@]}" --calendars "$work/cal7000" --list-todos
row "open to-dos, 2,000 files, no index" "todoman, no index" "$runs_no_index" "rm -f $work/todoman2000.sqlite3" \
    "$no_kit_index" todoman --config "$work/todoman2000.py" --porcelain list -- "${org[@]}" --calendars "$work/cal2000" --list-todos

# ---- Counts ----------------------------------------------------------------------------
todos() { python3 -c 'import json, sys; print(len(json.load(sys.stdin)))'; }
generated() { grep -c "^$1	" "$2" || true; }
counts=()
count_row() { # WHAT PEER KIT GENERATED
    local verdict=agree
    [ "$2" = "$3" ] && [ "$3" = "$4" ] || verdict=DIFFER
    counts+=("$(printf '%-44s %8s %8s %10s   %s' "$1" "$2" "$3" "$4" "$verdict")")
}
count_row "contacts, 10,000 cards" \
    "$(khard -c "$work/khard.conf" list -p | grep -c .)" \
    "$("$organiser" --contacts "$work/contacts" --list-contacts | grep -c .)" "$(generated contact "$work/contacts.tsv")"
count_row "person by UID, 10,000 cards" \
    "$(khard -c "$work/khard.conf" show -f "uid:$one_uid" | grep -c "UID: $one_uid" || true)" \
    "$("$organiser" --contacts "$work/contacts" --show-contact "$one_uid" | grep -c "^$one_uid" || true)" 1
# khal lists an event spanning several days once a day: count distinct occurrences.
count_row "occurrences of $year_from..$year_last, 7,000" \
    "$(khal -c "$work/khal7000.conf" list -df '' -f '{uid} {start} {end}' "$year_from" "$year_last" | grep . | sort -u | wc -l)" \
    "$("$organiser" --calendars "$work/cal7000" --list-events "$year_from" "$year_to" | grep -c .)" \
    "$(generated event "$work/cal7000.tsv")"
count_row "open to-dos, 7,000 files" \
    "$(todoman --config "$work/todoman7000.py" --porcelain list | todos)" \
    "$("$organiser" --calendars "$work/cal7000" --list-todos | grep -c .)" "$(generated todo "$work/cal7000.tsv")"
count_row "open to-dos, 2,000 files" \
    "$(todoman --config "$work/todoman2000.py" --porcelain list | todos)" \
    "$("$organiser" --calendars "$work/cal2000" --list-todos | grep -c .)" "$(generated todo "$work/cal2000.tsv")"

# ---- Report ----------------------------------------------------------------------------
echo
echo "Peers beside the kit, $(date -u +%Y-%m-%d), $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'))"
echo "$(khard --version 2>&1 | head -1); khal $(khal --version | awk '{print $NF}'); todoman $(todoman --version | awk '{print $NF}')"
echo "times: median of $runs runs ($runs_no_index without index), warm; memory: highest RSS of 3 runs; kit/peer < 1: the kit is faster"
echo
printf '%-44s %-22s %8s %8s %9s %9s %8s\n' "Work" "Peer" "peer s" "kit s" "kit/peer" "peer MiB" "kit MiB"
printf '%s\n' "${rows[@]}"
echo
printf '%-44s %8s %8s %10s\n' "Counts" "peer" "kit" "generated"
printf '%s\n' "${counts[@]}"
