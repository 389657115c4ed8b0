#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Runs one command on an X server of its own and answers with the command's exit status:
#   run-on-own-x-server.sh WIDTHxHEIGHTxDEPTH command [argument...]
#
# Xvfb takes the first free display number itself and reports it on a descriptor (-displayfd):
# the display's lock is taken in the same step as the number is chosen, so runs side by side
# (ctest -j, two build folders) never pick the same display, as `xvfb-run -a` can. The server
# ends with this script, and at the latest when its last client leaves (-terminate), so a
# script killed outright leaves no server behind once its command has ended.
set -euo pipefail

if [ "$#" -lt 2 ]; then
    echo "usage: $0 WIDTHxHEIGHTxDEPTH command [argument...]" >&2
    exit 2
fi
screen="$1"
shift

work="$(mktemp -d "${TMPDIR:-/tmp}/own-x-server.XXXXXX")"
server=""
command=""
cleanup() {
    if [ -n "$command" ]; then
        kill "$command" 2>/dev/null || true
    fi
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The server accepts every cookie of its file, whatever display an entry names; the client's entry
# can only name the display once the server has chosen it.
cookie="$(mcookie)"
: >"$work/server-auth"
: >"$work/client-auth"
xauth -q -f "$work/server-auth" add :0 MIT-MAGIC-COOKIE-1 "$cookie"

mkfifo "$work/display"
Xvfb -displayfd 3 -auth "$work/server-auth" -nolisten tcp -terminate 10 -screen 0 "$screen" \
    3>"$work/display" 2>"$work/server.log" &
server=$!
display=""
read -r display <"$work/display" || true
if ! [[ "$display" =~ ^[0-9]+$ ]]; then
    echo "$0: Xvfb did not start" >&2
    # Its tries of displays that are taken say "server already running"; only the rest matters.
    grep -v -e 'SocketCreateListener() failed' -e 'server already running' "$work/server.log" >&2 || true
    exit 1
fi

export DISPLAY=":$display"
export XAUTHORITY="$work/client-auth"
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie"

# In the background, so that a signal to this script is acted on at once, and passed on.
"$@" &
command=$!
status=0
wait "$command" || status=$?
command=""
exit "$status"
