# Sourced by the shell tests: the failure exit, the check for the X tools they drive, a
# virtual X server of their own and the watch over the viewer they start in it.

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

# Fails unless every tool named is on PATH.
require_tools()
{
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
    done
}

# Starts a virtual X server with one 1280 x 1024 screen on a display number of its own,
# picked at random from 300 to 899: away from :0, where programs without DISPLAY would find
# it, and from the numbers the other tests probe as "no display". Another server taking the
# same number first only makes it try the next candidate. Exports DISPLAY and sets
# xvfb_pid, which the caller's cleanup kills; writes the server's output to the file $1.
start_xvfb()
{
    local log=$1 candidate
    for _ in $(seq 20); do
        candidate=$((300 + RANDOM % 600))
        { [ -e "/tmp/.X$candidate-lock" ] || [ -e "/tmp/.X11-unix/X$candidate" ]; } && continue
        Xvfb ":$candidate" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            [ -e "/tmp/.X11-unix/X$candidate" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        # The socket may be another server's that took the number first (a program's own
        # private Xvfb): only the server whose lock file names our process is ours.
        if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$candidate" ] \
            && [ "$(tr -d ' \n' <"/tmp/.X$candidate-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
            export DISPLAY=":$candidate"
            return 0
        fi
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    done
    fail "Xvfb did not start: $(cat "$log")"
}

# Polls the screen into the file $1 until it shows more than 50 colours, the first frame
# drawn, for up to 20 s; fails when the viewer ($viewer_pid, its stderr in the file $2) ends
# first or the screen stays blank.
wait_for_first_frame()
{
    local shot=$1 errors=$2
    for _ in $(seq 100); do
        sleep 0.2
        kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended early: $(cat "$errors")"
        import -window root "$shot"
        [ "$(identify -format %k "$shot")" -gt 50 ] && return 0
    done
    fail "the first frame is blank ($(identify -format %k "$shot") colours)"
}

# After the caller's Escape: waits up to 10 s for the viewer ($viewer_pid, its stderr in the
# file $1) to end, and fails unless it ended with status 0.
expect_clean_exit()
{
    local errors=$1 status=0
    for _ in $(seq 100); do
        kill -0 "$viewer_pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$viewer_pid" || status=$?
    viewer_pid=
    [ "$status" -eq 0 ] || fail "Escape ended the viewer with status $status: $(cat "$errors")"
}

# Makes the scratch folder $work and sets up its removal on exit. The test keeps the pids
# of the viewer and the X server it starts in $viewer_pid and $xvfb_pid (emptied once they
# have ended): whichever still runs at exit is killed, after the test's own extra_cleanup
# when it defines one.
enter_scratch()
{
    work=$(mktemp -d)
    xvfb_pid=
    viewer_pid=
    trap scratch_cleanup EXIT
}
scratch_cleanup()
{
    if declare -F extra_cleanup >/dev/null; then
        extra_cleanup
    fi
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
