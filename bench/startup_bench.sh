#!/usr/bin/env bash
# Start-up time of a full-screen run, from launching the program to its first presented frame,
# without the one-second clock measurement and the triangle test (the program's own trace,
# KELVARA_TRACE_STARTUP, marks both). Runs on $DISPLAY with a fresh settings folder.
#   startup_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
build=${1:-build}
runs=${2:-5}
program=$build/kelvara
[ -x "$program" ] || { echo "startup_bench: no $program" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "startup_bench: DISPLAY is not set" >&2; exit 2; }
make_work_dir
leave_wayland # X11's full-screen run on $DISPLAY, not the Wayland desktop around it

printf '%-4s %10s %10s %10s %10s %12s\n' run to-checks view-made to-frame clock+test startup-ms
for run in $(seq 1 "$runs"); do
    log=$work/trace-$run
    launched=$(clock_us)
    start_saver "$work/config" /dev/null "$log" KELVARA_TRACE_STARTUP=1 "$program" /s --ignore-requirements
    while ! grep -q "first frame presented" "$log" && ! saver_ended && ! later_than "$launched" 30; do
        sleep 0.05
    done
    end_saver TERM || true
    grep -q "first frame presented" "$log" || { echo "run $run: no frame"; cat "$log"; continue; }
    awk -v launched="$((launched / 1000))" -v run="$run" '
        $1 == "kelvara-trace" { step = $3; for (i = 4; i <= NF; i++) step = step " " $i; t[step] = $2 }
        END {
            excluded = (t["clock measurement ends"] - t["clock measurement begins"]) \
                     + (t["triangle test ends"] - t["triangle test begins"])
            printf "%-4s %10.1f %10.1f %10.1f %10.1f %12.1f\n", run,
                t["start-up begins"] - launched, t["view created"] - t["display mode set"],
                t["first frame presented"] - t["start-up ends"], excluded,
                t["first frame presented"] - launched - excluded
        }' "$log"
done
