// SPDX-License-Identifier: MIT
#include "LinuxGuestToolsTexts.h"

namespace LinuxGuestToolsTexts {

namespace {

    // The guest runs these texts as they stand: kept here whole so that what is staged is exactly what was reviewed and tested.

    constexpr char installer[] = R"SCRIPT(#!/bin/bash
set -euo pipefail

echo "=========================================="
echo " Kestrum Tools for Linux — Installer"
echo "=========================================="
echo ""

SCRIPT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
INSTALL_DIR="/usr/local/libexec/duvuzodovevav"
UNIT_DIR="/etc/systemd/system"
TARGET_USER="${SUDO_USER:-${USER:-}}"
TARGET_HOME="$(getent passwd "$TARGET_USER" 2>/dev/null | cut -d: -f6 || true)"
AUTOSTART_DIR="$TARGET_HOME/.config/autostart"

if command -v systemctl >/dev/null 2>&1; then
    INIT_SYSTEM="systemd"
elif [ -e /sbin/openrc ]; then
    INIT_SYSTEM="openrc"
else
    INIT_SYSTEM="unknown"
fi

echo "Detected init system: $INIT_SYSTEM"
echo "Installing to: $INSTALL_DIR"
echo ""

sudo mkdir -p "$INSTALL_DIR"
sudo cp "$SCRIPT_DIR/duvuzodovevav-linux-agent.sh" "$INSTALL_DIR/"
sudo cp "$SCRIPT_DIR/duvuzodovevav-linux-clipboard.sh" "$INSTALL_DIR/"
sudo chmod +x "$INSTALL_DIR/duvuzodovevav-linux-agent.sh" "$INSTALL_DIR/duvuzodovevav-linux-clipboard.sh"

if [ "$INIT_SYSTEM" = "systemd" ]; then
    sudo cp "$SCRIPT_DIR/duvuzodovevav-agent.service" "$UNIT_DIR/"
    sudo systemctl daemon-reload
    sudo systemctl enable --now duvuzodovevav-agent.service
    echo ""
    echo "Background disk agent installed and started via systemd."
    echo "  sudo systemctl status duvuzodovevav-agent"
else
    echo ""
    echo "Auto-start not configured (no systemd detected)."
    echo "Start manually:"
    echo "  sudo $INSTALL_DIR/duvuzodovevav-linux-agent.sh &"
fi

if [ -n "$TARGET_HOME" ] && [ -d "$TARGET_HOME" ]; then
    # Made as the user: a ~/.config created by root would lock the user out of their own settings.
    sudo -u "$TARGET_USER" mkdir -p "$AUTOSTART_DIR"
    sudo cp "$SCRIPT_DIR/duvuzodovevav-clipboard.desktop" "$AUTOSTART_DIR/"
    sudo chown "$TARGET_USER" "$AUTOSTART_DIR/duvuzodovevav-clipboard.desktop"
    echo ""
    echo "Clipboard sync will start automatically for user: $TARGET_USER"
else
    echo ""
    echo "Could not determine a desktop user's home directory for clipboard auto-start."
    echo "Run manually after login:"
    echo "  $INSTALL_DIR/duvuzodovevav-linux-clipboard.sh &"
fi

echo ""
echo "Kestrum Tools for Linux installed successfully."
echo "Disk automation is active now. Clipboard sync starts automatically when the desktop user logs in.")SCRIPT";

    // Shared by both scripts: the log line, JSON text and whole-file replacement.
    constexpr char commonFunctions[] = R"SCRIPT(
timestamp() {
    date -u +%Y-%m-%dT%H:%M:%SZ
}

log() {
    printf '%s %s\n' "$(timestamp)" "$1" 2>/dev/null >>"$LOG_FILE"
}

# A JSON string of any text: quotes, backslashes and control characters are escaped.
json_string() {
    local text=$1
    text=${text//\\/\\\\}
    text=${text//\"/\\\"}
    text=${text//$'\n'/\\n}
    text=${text//$'\r'/\\r}
    text=${text//$'\t'/\\t}
    text=$(printf '%s' "$text" | LC_ALL=C tr -d '\000-\037')
    printf '"%s"' "$text"
}

# One string field of a JSON file, or nothing when no reader is present or the file cannot be read.
read_json_field() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c '
import json, sys
try:
    with open(sys.argv[1], encoding="utf-8") as handle:
        value = json.load(handle).get(sys.argv[2], "")
except Exception:
    value = ""
sys.stdout.write(value if isinstance(value, str) else "")
' "$1" "$2" 2>/dev/null
    elif command -v jq >/dev/null 2>&1; then
        jq -r --arg key "$2" '.[$key] // "" | if type == "string" then . else "" end' "$1" 2>/dev/null
    fi
}

# Replaces the file whole, so the host never reads half of it.
write_json_file() {
    local target=$1 temporary
    temporary="$(dirname "$target")/.$(basename "$target").$$.tmp"
    if printf '%s' "$2" 2>/dev/null >"$temporary" && mv -f "$temporary" "$target" 2>/dev/null; then
        return 0
    fi
    rm -f "$temporary" 2>/dev/null
    return 1
}
)SCRIPT";

    constexpr char agentHead[] = R"SCRIPT(#!/bin/bash
set -u

AGENT_VERSION="3"
SHARE_TAG="duvuzodovevav-shared"
MOUNT_POINT="/mnt/duvuzodovevav"
AUTOMATION_NAME="KestrumAutomation"
MARKER_NAME="DuvuzodOvevavAutomationRoot.marker"
STATUS_NAME="GuestAgentStatus.json"
REQUESTS_NAME="Requests"
RESPONSES_NAME="Responses"
LOG_FILE="/var/log/duvuzodovevav-linux-agent.log"

EXPANDED_MESSAGE="Linux filesystem expanded successfully."
EXPANSION_FAILED_MESSAGE="Could not expand filesystem automatically. Try: sudo growpart /dev/vda 1 && sudo resize2fs /dev/vda1"
GROWPART_MISSING_MESSAGE="Could not expand filesystem automatically because growpart is not installed; install it (package cloud-guest-utils or cloud-utils-growpart) and try again."

CI_SCRIPT_PREFIX="ci-run-"
CI_DEFAULT_TIMEOUT=3600
CI_MAXIMUM_TIMEOUT=86400
CI_OUTPUT_LIMIT=8388608
# What the desktop user's clipboard script cannot write into the share itself (the share admits only the host's user),
# it leaves here, one file per user id, and the agent copies it into the share.
CLIPBOARD_SPOOL="/run/duvuzodovevav-clipboard"
CLIPBOARD_NAME="Clipboard"
GUEST_CLIPBOARD_NAME="GuestClipboard.json"
CLIPBOARD_LIMIT=16777216
)SCRIPT";

    constexpr char agentBody[] = R"SCRIPT(
has_tool() {
    command -v "$1" >/dev/null 2>&1
}

# Runs a tool; what it prints on failure goes to the log.
run_logged() {
    local output status
    output=$("$@" 2>&1)
    status=$?
    if [ "$status" -ne 0 ]; then
        log "$1 failed ($status): $output"
    fi
    return "$status"
}

find_root() {
    local root="$MOUNT_POINT/$AUTOMATION_NAME" output
    if [ -e "$root/$MARKER_NAME" ]; then
        printf '%s' "$root"
        return
    fi
    mkdir -p "$MOUNT_POINT" 2>/dev/null
    if mountpoint -q "$MOUNT_POINT" 2>/dev/null; then
        if [ -e "$root/$MARKER_NAME" ]; then
            printf '%s' "$root"
            return
        fi
        umount "$MOUNT_POINT" >/dev/null 2>&1
    fi
    if ! output=$(mount -t virtiofs "$SHARE_TAG" "$MOUNT_POINT" 2>&1); then
        log "mount failed: $output"
    fi
    if [ -e "$root/$MARKER_NAME" ]; then
        printf '%s' "$root"
    fi
}

write_status() {
    local root=$1 name content
    name=$(hostname 2>/dev/null) || name="linux-guest"
    printf -v content '{\n  "agentVersion" : %s,\n  "guestComputerName" : %s,\n  "lastSeenAt" : %s\n}' \
        "$(json_string "$AGENT_VERSION")" "$(json_string "$name")" "$(json_string "$(timestamp)")"
    write_json_file "$root/$STATUS_NAME" "$content"
}

# POSIX output keeps each file system on one line, however long its device name.
root_device() {
    df -P / 2>/dev/null | awk 'END { print $1 }'
}

root_size_kilobytes() {
    df -P -k / 2>/dev/null | awk 'END { print $2 }'
}

# Grows the root partition and file system. Succeeds only when the root file system really got bigger;
# EXPANSION_MESSAGE says why it did not.
expand_root_filesystem() {
    local device disk partition before after resized=false
    EXPANSION_MESSAGE=$EXPANSION_FAILED_MESSAGE
    device=$(root_device)
    if [ -z "$device" ]; then
        log "Could not find the root device"
        return 1
    fi
    before=$(root_size_kilobytes)
    if has_tool growpart; then
        partition=${device##*[!0-9]}
        disk=${device%"$partition"}
        disk=${disk%p}
        if run_logged growpart "$disk" "$partition"; then
            if has_tool resize2fs && run_logged resize2fs "$device"; then
                resized=true
            elif has_tool xfs_growfs && run_logged xfs_growfs /; then
                resized=true
            elif has_tool btrfs && run_logged btrfs filesystem resize max /; then
                resized=true
            fi
        fi
    fi
    if [ "$resized" = false ] && has_tool resize2fs; then
        run_logged resize2fs "$device"
    fi
    after=$(root_size_kilobytes)
    if [ -n "$before" ] && [ -n "$after" ] && [ "$after" -gt "$before" ] 2>/dev/null; then
        return 0
    fi
    log "The root file system did not grow (${before:-unknown} KiB before, ${after:-unknown} KiB after)"
    if ! has_tool growpart; then
        EXPANSION_MESSAGE=$GROWPART_MISSING_MESSAGE
    fi
    return 1
}

# Arguments: root, id, success, message, then optionally the exit code and "true" for a timed-out script.
write_response() {
    local root=$1 id=$2 success=$3 message=$4 exit_code=${5:-} timed_out=${6:-} content
    content='{'
    if [ -n "$exit_code" ]; then
        content+=$'\n  "exitCode" : '"$exit_code"','
    fi
    content+=$'\n  "handledAt" : '"$(json_string "$(timestamp)")"','
    content+=$'\n  "message" : '"$(json_string "$message")"','
    content+=$'\n  "requestID" : '"$(json_string "$id")"','
    content+=$'\n  "success" : '"$success"
    if [ -n "$timed_out" ]; then
        content+=$',\n  "timedOut" : true'
    fi
    content+=$'\n}'
    write_json_file "$root/$RESPONSES_NAME/$id.json" "$content"
}

# A whole-number ("integer") or boolean ("boolean", as true or false) field of a JSON file, or nothing.
read_json_typed() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c '
import json, sys
try:
    with open(sys.argv[1], encoding="utf-8") as handle:
        value = json.load(handle).get(sys.argv[2])
except Exception:
    value = None
if sys.argv[3] == "boolean" and isinstance(value, bool):
    sys.stdout.write("true" if value else "false")
elif sys.argv[3] == "integer" and isinstance(value, int) and not isinstance(value, bool):
    sys.stdout.write(str(value))
' "$1" "$2" "$3" 2>/dev/null
    elif command -v jq >/dev/null 2>&1; then
        jq -r --arg key "$2" --arg kind "$3" '.[$key]
            | if $kind == "boolean" and type == "boolean" then tostring
              elif $kind == "integer" and type == "number" and . == floor then tostring
              else "" end' "$1" 2>/dev/null
    fi
}

# The request's environment as NAME=value entries, each ended by a NUL byte, so values may hold any text.
# Names a shell cannot export and values that are not text are left out.
read_json_environment() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c '
import json, re, sys
try:
    with open(sys.argv[1], encoding="utf-8") as handle:
        values = json.load(handle).get("environment") or {}
except Exception:
    values = {}
if isinstance(values, dict):
    for name, value in sorted(values.items()):
        if re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name) and isinstance(value, str) and "\0" not in value:
            sys.stdout.buffer.write((name + "=" + value).encode("utf-8", "surrogatepass") + b"\0")
' "$1" 2>/dev/null
    elif command -v jq >/dev/null 2>&1; then
        jq -j '.environment // {} | to_entries[]
            | select((.key | test("^[A-Za-z_][A-Za-z0-9_]*$")) and (.value | type == "string") and ((.value | index("\u0000")) == null))
            | "\(.key)=\(.value)\u0000"' "$1" 2>/dev/null
    fi
}

# Runs the CI script the host staged as ci-run-<id>.sh once, in a folder of its own, with the request's environment,
# under its timeout (the whole process group is killed when it passes), and answers with its exit status.
run_ci_script() {
    local root=$1 file=$2 id=$3 timeout_seconds capture work status started elapsed script output
    local -a environment=()
    timeout_seconds=$(read_json_typed "$file" timeoutSeconds integer)
    capture=$(read_json_typed "$file" captureOutput boolean)
    while IFS= read -r -d '' entry; do
        environment+=("$entry")
    done < <(read_json_environment "$file")
    # Gone before the script starts, so that it runs at most once even when the agent is restarted meanwhile.
    rm -f "$file"

    if ! [[ "$timeout_seconds" =~ ^[0-9]{1,9}$ ]] || [ "$timeout_seconds" -lt 1 ]; then
        timeout_seconds=$CI_DEFAULT_TIMEOUT
    elif [ "$timeout_seconds" -gt "$CI_MAXIMUM_TIMEOUT" ]; then
        timeout_seconds=$CI_MAXIMUM_TIMEOUT
    fi
    script="$root/$CI_SCRIPT_PREFIX$id.sh"
    if [ -L "$script" ] || [ ! -f "$script" ]; then
        log "CI run $id: the script $CI_SCRIPT_PREFIX$id.sh is missing"
        write_response "$root" "$id" false "The CI script $CI_SCRIPT_PREFIX$id.sh could not be read."
        return
    fi
    if ! work=$(mktemp -d 2>/dev/null) || ! cp "$script" "$work/script.sh" 2>/dev/null; then
        [ -n "${work:-}" ] && rm -rf "$work"
        log "CI run $id: could not prepare the script"
        write_response "$root" "$id" false "The CI script could not be prepared inside the guest."
        return
    fi

    log "Running CI script $id with a timeout of $timeout_seconds s"
    started=$(date +%s)
    timeout -k 10 "$timeout_seconds" env -- "${environment[@]}" "$BASH" "$work/script.sh" </dev/null >"$work/output" 2>&1
    status=$?
    elapsed=$(( $(date +%s) - started ))

    if [ "$capture" != "false" ]; then
        output="$root/$RESPONSES_NAME/.$id.output.tmp"
        if head -c "$CI_OUTPUT_LIMIT" "$work/output" >"$output" 2>/dev/null; then
            mv -f "$output" "$root/$RESPONSES_NAME/$id.output" 2>/dev/null || rm -f "$output"
        else
            rm -f "$output" 2>/dev/null
        fi
    fi
    rm -rf "$work"

    # timeout answers 124 when it stopped the script with TERM and 137 when it had to KILL it.
    if { [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; } && [ "$elapsed" -ge "$timeout_seconds" ]; then
        log "CI run $id timed out after $timeout_seconds s"
        write_response "$root" "$id" false "The CI script did not finish within $timeout_seconds seconds and was stopped." "" true
    else
        log "CI run $id exited with code $status"
        if [ "$status" -eq 0 ]; then
            write_response "$root" "$id" true "The CI script exited with code 0." "$status"
        else
            write_response "$root" "$id" false "The CI script exited with code $status." "$status"
        fi
    fi
}

# Copies each desktop user's clipboard file from the spool into the share. A file is read as the user who owns it,
# so a user can pass on nothing that user could not read anyway.
relay_guest_clipboards() {
    local root=$1 file owner content
    mkdir -p "$CLIPBOARD_SPOOL" 2>/dev/null && chmod 1733 "$CLIPBOARD_SPOOL" 2>/dev/null
    for file in "$CLIPBOARD_SPOOL"/*.json; do
        [ -f "$file" ] && [ ! -L "$file" ] || continue
        owner=$(stat -c '%u:%g' -- "$file" 2>/dev/null) || continue
        if [ "${owner%%:*}" = "$(id -u)" ]; then
            content=$(head -c "$CLIPBOARD_LIMIT" -- "$file" 2>/dev/null) || continue
        else
            content=$(setpriv --reuid "${owner%%:*}" --regid "${owner##*:}" --clear-groups \
                head -c "$CLIPBOARD_LIMIT" -- "$file" 2>/dev/null) || continue
        fi
        [ -n "$content" ] || continue
        [ "$content" != "${RELAYED[$file]:-}" ] || continue
        mkdir -p "$root/$CLIPBOARD_NAME" 2>/dev/null
        if write_json_file "$root/$CLIPBOARD_NAME/$GUEST_CLIPBOARD_NAME" "$content"; then
            RELAYED[$file]=$content
        fi
    done
}

process_request() {
    local root=$1 file=$2 id command success message
    id=$(basename "$file" .json)
    command=$(read_json_field "$file" command)
    if [ "$command" = "runCIScript" ]; then
        if [[ "$id" =~ ^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$ ]]; then
            run_ci_script "$root" "$file" "$id"
        else
            log "Refused CI request $id: its name is not an identifier"
            rm -f "$file"
        fi
        return
    fi
    if [ "$command" = "expandSystemAPFSContainer" ]; then
        if expand_root_filesystem; then
            success=true
            message=$EXPANDED_MESSAGE
            log "Completed disk expansion request $id"
        else
            success=false
            message=$EXPANSION_MESSAGE
            log "Failed disk expansion request $id"
        fi
    else
        success=false
        message="Unknown command: $command"
        log "Unknown request $id: $command"
    fi
    write_response "$root" "$id" "$success" "$message"
    rm -f "$file"
}

declare -A RELAYED=()

log "Starting Kestrum Tools Linux agent v$AGENT_VERSION"

while true; do
    root=$(find_root)
    if [ -n "$root" ] && [ -d "$root" ]; then
        mkdir -p "$root/$REQUESTS_NAME" "$root/$RESPONSES_NAME" 2>/dev/null
        write_status "$root"
        for request in "$root/$REQUESTS_NAME"/*.json; do
            [ -f "$request" ] || continue
            process_request "$root" "$request"
        done
        relay_guest_clipboards "$root"
    fi
    # The clipboard is relayed every second; status and requests every five.
    for second in 1 2 3 4 5; do
        sleep 1
        if [ -n "$root" ] && [ -d "$root" ] && [ "$second" -lt 5 ]; then
            relay_guest_clipboards "$root"
        fi
    done
done)SCRIPT";

    constexpr char clipboardHead[] = R"SCRIPT(#!/bin/bash
set -u

MOUNT_POINT="/mnt/duvuzodovevav"
AUTOMATION_NAME="KestrumAutomation"
MARKER_NAME="DuvuzodOvevavAutomationRoot.marker"
CLIPBOARD_NAME="Clipboard"
HOST_CLIPBOARD_NAME="HostClipboard.json"
GUEST_CLIPBOARD_NAME="GuestClipboard.json"
UUID_SOURCE="/proc/sys/kernel/random/uuid"
LOG_FILE="/tmp/duvuzodovevav-linux-clipboard.log"
# Made by the root agent; a desktop user cannot write into the share, so the agent copies this user's file from here.
CLIPBOARD_SPOOL="/run/duvuzodovevav-clipboard"

LAST_HOST_ID=""
LAST_BASE64=""
)SCRIPT";

    constexpr char clipboardBody[] = R"SCRIPT(
find_root() {
    local root="$MOUNT_POINT/$AUTOMATION_NAME" marker
    if [ -e "$root/$MARKER_NAME" ]; then
        printf '%s' "$root"
        return
    fi
    marker=$(find /mnt /media /run/mount -maxdepth 5 -path "*/$AUTOMATION_NAME/$MARKER_NAME" 2>/dev/null | head -n 1)
    if [ -n "$marker" ]; then
        dirname "$marker"
    fi
}

read_clipboard() {
    if command -v xclip >/dev/null 2>&1; then
        xclip -selection clipboard -o 2>/dev/null
    elif command -v xsel >/dev/null 2>&1; then
        xsel --clipboard --output 2>/dev/null
    elif command -v wl-paste >/dev/null 2>&1; then
        wl-paste 2>/dev/null
    fi
}

write_clipboard() {
    if command -v xclip >/dev/null 2>&1; then
        printf '%s' "$1" | xclip -selection clipboard 2>/dev/null
    elif command -v xsel >/dev/null 2>&1; then
        printf '%s' "$1" | xsel --clipboard --input 2>/dev/null
    elif command -v wl-copy >/dev/null 2>&1; then
        printf '%s' "$1" | wl-copy 2>/dev/null
    fi
}

# A random UUID in upper case, as the host reads clipboard ids.
new_uuid() {
    local uuid=""
    if [ -r "$UUID_SOURCE" ]; then
        uuid=$(cat "$UUID_SOURCE" 2>/dev/null)
    fi
    if [ -z "$uuid" ]; then
        uuid=$(printf '%04x%04x-%04x-4%03x-%04x-%04x%04x%04x' \
            "$RANDOM" "$RANDOM" "$RANDOM" "$((RANDOM & 0x0fff))" "$(((RANDOM & 0x3fff) | 0x8000))" \
            "$RANDOM" "$RANDOM" "$RANDOM")
    fi
    printf '%s' "$uuid" | tr '[:lower:]' '[:upper:]'
}

apply_host_clipboard() {
    local file="$1/$HOST_CLIPBOARD_NAME" id text_base64 text
    [ -f "$file" ] || return
    id=$(read_json_field "$file" id)
    text_base64=$(read_json_field "$file" textBase64)
    if [ -z "$id" ] || [ -z "$text_base64" ] || [ "$id" = "$LAST_HOST_ID" ]; then
        return
    fi
    text=$(printf '%s' "$text_base64" | base64 -d 2>/dev/null) || return
    [ -n "$text" ] || return
    write_clipboard "$text"
    LAST_HOST_ID=$id
    LAST_BASE64=$text_base64
    log "Applied host clipboard $id"
}

publish_guest_clipboard() {
    local folder=$1 text text_base64 id content
    text=$(read_clipboard)
    [ -n "$text" ] || return
    text_base64=$(printf '%s' "$text" | base64 | tr -d '\r\n')
    [ "$text_base64" != "$LAST_BASE64" ] || return
    id=$(new_uuid)
    printf -v content '{\n  "id" : %s,\n  "source" : "guest",\n  "textBase64" : %s,\n  "updatedAt" : %s\n}' \
        "$(json_string "$id")" "$(json_string "$text_base64")" "$(json_string "$(timestamp)")"
    if [ -d "$CLIPBOARD_SPOOL" ] && [ -w "$CLIPBOARD_SPOOL" ]; then
        write_json_file "$CLIPBOARD_SPOOL/$(id -u).json" "$content" || return
    else
        write_json_file "$folder/$GUEST_CLIPBOARD_NAME" "$content" || return
    fi
    LAST_BASE64=$text_base64
    log "Published guest clipboard $id"
}

log "Starting Kestrum Tools Linux clipboard agent"

while true; do
    root=$(find_root)
    if [ -n "$root" ]; then
        folder="$root/$CLIPBOARD_NAME"
        mkdir -p "$folder" 2>/dev/null
        apply_host_clipboard "$folder"
        publish_guest_clipboard "$folder"
    fi
    sleep 1
done)SCRIPT";

    constexpr char unit[] = R"TEXT([Unit]
Description=Zovozu VM Lab Linux Guest Agent
After=network.target local-fs.target

[Service]
Type=simple
ExecStart=/usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-agent.sh
Restart=always
RestartSec=5
StandardOutput=journal
StandardError=journal

[Install]
WantedBy=multi-user.target)TEXT";

    constexpr char desktop[] = R"TEXT([Desktop Entry]
Type=Application
Name=Zovozu VM Lab Clipboard Sync
Comment=Starts clipboard synchronization for Zovozu VM Lab Linux guests
Exec=/usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-clipboard.sh
Terminal=false
NoDisplay=true
X-GNOME-Autostart-enabled=true)TEXT";

    constexpr char readmeHead[] = R"TEXT(Kestrum Tools for Linux
=======================

VM: )TEXT";

    constexpr char readmeBody[] = R"TEXT(

These tools provide clipboard sync, disk expansion and a guest agent heartbeat for Linux VMs running in Zovozu VM Lab.

INSTALLATION
------------
1. Mount the shared folder inside the guest:
     sudo mkdir -p /mnt/duvuzodovevav
     sudo mount -t virtiofs duvuzodovevav-shared /mnt/duvuzodovevav
2. In a terminal, go to the automation folder and run the installer:
     cd /mnt/duvuzodovevav/KestrumAutomation
     sudo bash install-linux-tools.sh

The installer copies the agent scripts to /usr/local/libexec/duvuzodovevav/,
sets up the background agent (it runs as root) and makes clipboard sync start
automatically when the desktop user logs in.

CLIPBOARD SYNC
--------------
Clipboard sync needs one of xclip, xsel or wl-copy/wl-paste:
  Debian, Ubuntu:  sudo apt install xclip
  Fedora:          sudo dnf install xclip
  Alpine:          sudo apk add xclip

MANUAL START
------------
On systems without systemd, start both scripts in the background:
  sudo /usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-agent.sh &
  /usr/local/libexec/duvuzodovevav/duvuzodovevav-linux-clipboard.sh &

LOGS
----
  Agent:     /var/log/duvuzodovevav-linux-agent.log
  Clipboard: /tmp/duvuzodovevav-linux-clipboard.log)TEXT";

} // namespace

QString installerScript() { return QString::fromUtf8(installer); }

QString agentScript() { return QString::fromUtf8(agentHead) + QString::fromUtf8(commonFunctions) + QString::fromUtf8(agentBody); }

QString clipboardScript()
{
    return QString::fromUtf8(clipboardHead) + QString::fromUtf8(commonFunctions) + QString::fromUtf8(clipboardBody);
}

QString systemdUnit() { return QString::fromUtf8(unit); }

QString desktopEntry() { return QString::fromUtf8(desktop); }

QString readme(const QString &vmName) { return QString::fromUtf8(readmeHead) + vmName + QString::fromUtf8(readmeBody); }

} // namespace LinuxGuestToolsTexts
