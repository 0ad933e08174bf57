# Shared by the scripts in scripts/ (and the test helpers that run the program): sourced, never
# run. A script sources it right after its header comment:
#
#   . "$(dirname "$0")/lib.sh"          sets $root (the checkout) and the EXIT trap below
#
# Stage lines. `stage ID TEXT...` prints one line of the form
#
#   ==== [ID] TEXT
#
# where ID is lower-case letters, digits, dots and hyphens (for example test.fuzz). This is the
# only output that scripts/check-fresh reads: its table of stage times starts a stage at each
# such line and ends it at the next one.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script_name=$(basename "$0")

stage() { # id, text...
    local id=$1
    shift
    [[ $id =~ ^[a-z0-9.-]+$ ]] || { echo "stage: bad id '$id'" >&2; return 2; }
    echo "==== [$id] $*"
}

say() { echo "$script_name: $*"; }
die() { # message...: on standard error, then exit 1
    echo "$script_name: $*" >&2
    exit 1
}

# The script's own header comment, from the line after #! to the first line that is no comment,
# without its "# ": what --help prints.
show_help() {
    awk 'NR == 1 { next } /^#/ { sub(/^# ?/, ""); print; next } { exit }' "$0"
}

# The running Debian release's code name (trixie, bookworm), from /etc/os-release.
debian_codename() {
    (. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
}

# --- Cleanup: commands run when the script exits, however it exits, last added first.
exit_commands=()
on_exit() { # command line (one string, run with eval)
    exit_commands+=("$1")
}
run_exit_commands() {
    local status=$? i
    trap '' INT TERM HUP PIPE # neither a second interrupt nor a reader gone cuts it short
    for ((i = ${#exit_commands[@]} - 1; i >= 0; i--)); do
        eval "${exit_commands[$i]}" || true
    done
    exit_commands=()
    return $status
}
exit_on_signal() { # status: the first signal ends the script; later ones wait for its cleanup
    trap '' INT TERM HUP
    exit "$1"
}
trap run_exit_commands EXIT
trap 'exit_on_signal 130' INT
trap 'exit_on_signal 143' TERM
trap 'exit_on_signal 129' HUP

# A folder of the script's own, removed on exit; its path in $work.
make_work_dir() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/kelvara-$script_name.XXXXXX")
    on_exit 'rm -rf "$work"'
}

# Programs that run as another user (a compositor's, whose session they join): copies in a folder
# of the script's own that every user may read and run, since the build folder may lie where
# others cannot reach it (root's home, in CI's roots). The program's data folder goes with it.
# Sets $shared, the folder, removed on exit.
share_with_other_users() { # files and folders...
    shared=$(mktemp -d "${TMPDIR:-/tmp}/kelvara-shared.XXXXXX")
    on_exit 'rm -rf "$shared"'
    cp -r "$@" "$shared/"
    chmod -R a+rX "$shared"
}

# --- Time, in microseconds since the epoch: t0=$(clock_us); ... elapsed_s "$t0".
clock_us() {
    local t=$EPOCHREALTIME
    echo $((10#${t//[!0-9]/}))
}
to_us() { # seconds with an optional fraction (2, 0.25) -> microseconds
    local whole=${1%%.*} fraction=
    [[ $1 == *.* ]] && fraction=${1#*.}
    fraction=${fraction}000000
    echo $((10#${whole:-0} * 1000000 + 10#${fraction:0:6}))
}
elapsed_us() { echo $(($(clock_us) - $1)); }
elapsed_ms() { echo $((($(clock_us) - $1) / 1000)); }
format_us() { printf '%d.%02d' $(($1 / 1000000)) $(($1 % 1000000 / 10000)); } # seconds, 2 decimals
elapsed_s() { format_us "$(elapsed_us "$1")"; }
later_than() { # t0, seconds: true once that much time has passed since t0
    [ "$(elapsed_us "$1")" -ge "$(to_us "$2")" ]
}
# Polls the command (a condition: a window shows, a file has a line) until it succeeds; false
# when it has not within the seconds.
wait_for() { # seconds, command...
    local wait_t0 wait_seconds=$1
    shift
    wait_t0=$(clock_us)
    until "$@"; do
        later_than "$wait_t0" "$wait_seconds" && return 1
        sleep 0.1
    done
}

# Runs the command (a key press, say) again, a second apart, until the condition holds: at most
# TRIES times; false when the condition never held. A key may come before the program has the
# keyboard, and a person presses again.
repeat_until() { # tries, condition, command...
    local tries=$1 condition=$2 i
    shift 2
    for ((i = 0; i < tries; i++)); do
        "$condition" && return 0
        "$@" || true
        wait_for 1 "$condition" && return 0
    done
    return 1
}

# Exports the NAME=VALUE lines of a file (the env file a headless desktop writes).
source_env() { # file
    set -a
    # shellcheck source=/dev/null
    . "$1"
    set +a
}

# --- The user that a headless desktop and the programs in its session run as: as root the
# unprivileged kelvara-e2e, made where missing (sway and XScreenSaver refuse root), else the
# script's own user. Sets session_user, session_home, and as_user: the command that runs a
# program as that user (empty for the script's own).
set_session_user() {
    as_user=()
    session_user=$(id -un)
    session_home=${HOME:-/tmp}
    if [ "$(id -u)" -eq 0 ]; then
        session_user=kelvara-e2e
        id "$session_user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$session_user"
        as_user=(setpriv "--reuid=$session_user" "--regid=$session_user" --init-groups)
        session_home=$(getent passwd "$session_user" | cut -d: -f6)
    fi
}

# --- Any process by its id: process_ended PID is true once it has ended (a zombie awaiting wait
# counts); end_process PID [SIGNAL [SECONDS]] signals it (TERM) and sends SIGKILL when it has not
# ended within SECONDS (10), false then.
process_ended() {
    local stat
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
    stat=${stat##*) } # the state follows the command name, which may hold anything
    [ "${stat%% *}" = Z ]
}
end_process() {
    local pid=$1
    process_ended "$pid" || kill "-${2:-TERM}" "$pid" 2>/dev/null || true
    wait_for "${3:-10}" process_ended "$pid" && return 0
    kill -KILL "$pid" 2>/dev/null
    return 1
}

# --- Pictures (ImageMagick): alike A B prints the share of the pixels of two same-sized
# pictures whose channels lie within 10 % of each other; above A B is true when number A > B.
alike() {
    local size differ
    size=$(identify -format '%w %h' "$1") || return 1
    differ=$(compare -metric AE -fuzz 10% "$1" "$2" null: 2>&1 >/dev/null) || true
    awk -v s="$size" -v d="$differ" 'BEGIN { split(s, wh, " "); printf "%.3f", 1 - d / (wh[1] * wh[2]) }'
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# --- A private X server (tests/support/xserver), stopped on exit: exports DISPLAY, and sets
# xserver_kind (xorg or xvfb). The state folder goes into $work (make_work_dir first).
start_private_xserver() {
    "$root/tests/support/xserver" start "$work/x" >/dev/null || die "no private X server"
    on_exit '"$root/tests/support/xserver" stop "$work/x" >/dev/null 2>&1'
    DISPLAY=$(cat "$work/x/display")
    export DISPLAY
    xserver_kind=$(cat "$work/x/kind")
    leave_wayland
}
# Everything started from here on uses $DISPLAY, never the Wayland desktop the script may have
# been started from (the program prefers Wayland where it finds a compositor).
leave_wayland() { unset WAYLAND_DISPLAY WAYLAND_SOCKET; }

# --- The program, run as a screen saver's host runs it: in a settings folder of its own (the
# user's settings are never touched), with SIGINT at its default even from a script, ended on
# exit if still running.
#   start_saver CONFIG_DIR STDOUT STDERR [VAR=VALUE...] PROGRAM ARGS...   sets $saver_pid
#                                    (STDERR may be the same file as STDOUT)
#   saver_ended                      true once it has ended (a zombie awaiting wait counts)
#   end_saver [SIGNAL [SECONDS]]     signal (TERM), then wait up to SECONDS (10) before SIGKILL;
#                                    sets $saver_status (the program's exit status); false
#                                    when it took the SIGKILL
start_saver() {
    local config=$1 out=$2 err=$3
    shift 3
    mkdir -p "$config"
    if [ "$err" = "$out" ]; then
        XDG_CONFIG_HOME=$config env --default-signal=INT "$@" >"$out" 2>&1 &
    else
        XDG_CONFIG_HOME=$config env --default-signal=INT "$@" >"$out" 2>"$err" &
    fi
    saver_pid=$!
    if [ -z "${saver_kill_on_exit:-}" ]; then
        saver_kill_on_exit=1
        on_exit '[ -z "${saver_pid:-}" ] || end_saver TERM 5'
    fi
}
saver_ended() { process_ended "$saver_pid"; }
wait_saver_end() { wait_for "$1" saver_ended; } # seconds: true when it ended within them
end_saver() {
    local killed=0
    end_process "$saver_pid" "${1:-TERM}" "${2:-10}" || killed=1
    reap_saver
    return $killed
}
reap_saver() { # sets $saver_status; quiet about a run ended by a signal
    saver_status=0
    { wait "$saver_pid"; } 2>/dev/null || saver_status=$?
    saver_pid=""
}
