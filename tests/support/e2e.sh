# Shared by the end-to-end harnesses (tests/e2e/*/*-e2e) and the headless desktops beside this
# file: sourced, never run, right after the header comment; it sources scripts/lib.sh ($root,
# the EXIT trap, start_saver and the waits).
#
# The run helpers below read what the harness sets: $program (the program's file), $out (the
# folder of its logs and pictures), $run_name (the run's log is $out/$run_name.err), $run_started
# (milliseconds, as the runs' traces) and $config (the runs' settings folder).
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

# --- Results: pass and fail lines counted; report prints the count and is the harness's status.
passes=0
failures=0
pass() { passes=$((passes + 1)); say "PASS $*"; }
fail() { failures=$((failures + 1)); say "FAIL $*"; }
report() {
    echo "$passes passed, $failures failed"
    [ $failures -eq 0 ]
}

# The checks named on the command line ($chosen_checks), else the ones given: each is the
# function check_NAME.
run_checks() { # names...
    local check
    [ ${#chosen_checks[@]} -eq 0 ] || set -- "${chosen_checks[@]}"
    for check in "$@"; do "check_$check"; done
}

# --- The run: "kelvara /s", started with start_saver, whose supervisor starts one process per
# output or monitor ("--monitor-run ID ...").
# Processes of this very program: the runs the supervisor started.
runs_of_program() {
    local pid
    for pid in $(pgrep -f -- "--monitor-run" 2>/dev/null); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$program" ] && echo "$pid"
    done
}
no_runs_left() { [ -z "$(runs_of_program)" ]; }
# The run's end: the supervisor and every run gone.
ended() { saver_ended && no_runs_left; }
# How the run ends must already be on its way: waits for the end; true when it came with the
# status wanted (0). A run that does not end is killed.
finish_run() { # [status]
    if wait_for 30 ended; then
        reap_saver
        [ "$saver_status" = "${1:-0}" ]
    else
        end_saver KILL 1
        wait_for 10 no_runs_left
        false
    fi
}
kill_run() {
    [ -z "${saver_pid:-}" ] || end_saver TERM 10
    wait_for 10 no_runs_left
}

# The line each output's run traces at its first frame; X11's runs say "presented on".
first_frame_line='first frame shown on'
first_frames() { # count: how many outputs showed their first frame
    [ "$(grep -c "$first_frame_line" "$out/$run_name.err" 2>/dev/null)" -ge "$1" ] 2>/dev/null
}
first_frame_figures() { # outputs...: the time from the run's start to each one's first frame
    local output first
    for output in "$@"; do
        first=$(awk -v o="$output" -v line="$first_frame_line" '$NF == o && index($0, line) { printf "%.0f\n", $2; exit }' \
            "$out/$run_name.err")
        say "figure: first frame on $output $((first - run_started)) ms after the start"
    done
}

# The program that started the runs killed outright (SIGKILL): every run ends with it. The runs
# must be starting (start_run or the like); what: the check's name in the lines.
killing_the_starter_ends_every_run() { # seconds the first frames may take, what
    local runs start pid all_gone=1
    if wait_for "$1" first_frames 2; then
        runs=$(runs_of_program)
        start=$(clock_us)
        kill -KILL "$saver_pid"
        reap_saver
        for pid in $runs; do wait_for 10 process_ended "$pid" || all_gone=0; done
        say "figure: $2, every run gone in $(elapsed_ms "$start") ms"
        [ $all_gone -eq 1 ] && pass "$2 ends every run" ||
            fail "$2 ends every run: left $(runs_of_program)"
    else
        fail "$2: the run did not start"
    fi
    kill_run
}

# The settings the runs find: the stored resolution, or none at all.
store_resolution() { # index in the resolution list, or "" for no settings
    rm -rf "$config/kelvara"
    [ -z "$1" ] && return
    mkdir -p "$config/kelvara"
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\r\n"resolution"=dword:%08x\r\n"sound"=dword:00000001\r\n"customize"=""\r\n' \
        "$1" >"$config/kelvara/registry.reg"
}

# --- Pictures: the share of bright pixels, the intro's logo and beams, unlike a black screen or
# a dark desktop.
bright() { convert "$1" -alpha off -colorspace gray -threshold 20% -format '%[fx:mean]' info:; }

# --- A D-Bus daemon's configuration for a bus of the tests' own that every user of this machine
# may use and on which anyone may own any name: the desktop's session runs as another user, and
# the tests drive it from root's shell.
bus_config() { # type (session or system), address, file
    local includes=""
    [ "$1" = session ] && includes="<standard_session_servicedirs/><includedir>session.d</includedir>"
    cat >"$3" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$1</type>
  <keep_umask/>
  <listen>$2</listen>
  <auth>EXTERNAL</auth>
  $includes
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
}
