#!/usr/bin/env bash
# The desktop application first, then a narrated tour of vaultcli, both against
# virtual cards.
#
# Desktop (root, loop devices and FUSE needed; otherwise it says why and goes on):
# a virtual card attached as a disk. With a display (DISPLAY set), vaultdesk is
# started on it and the PIN and what to try are printed; without one, a scripted
# tour of vaultdesk runs under Xvfb (find the card, activate, log in, view the
# sessions, back them up, wipe), checks every step and leaves a picture of each
# step and a contact sheet in a folder whose path it prints.
#
# Command line (no card and no root needed): as root the card is attached as a
# disk (/dev/sd<letter>, mounted, with the real mount helper and partrescan);
# otherwise the image file stands in for it. Every command line is printed with
# its output; every step is checked, and the tour stops with a non-zero status
# at the first step that does not behave as narrated. The card, vaultdesk and the
# emulator are stopped on every way out.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VIX_DEMO_BUILD:-$root/build-demo}
helpers=$build/demo-helpers
card_folder=$build/demo-card
jobs=$(nproc 2>/dev/null || echo 2)

PIN=1234
ADMIN_PIN=12345678
NEW_PIN=4321

say() {
    printf '\n'
    printf '# %s\n' "$@"
}
fail() {
    printf '\nDEMO FAILED: %s\n' "$*" >&2
    exit 1
}

build_programs() {
    say "Building vaultcli and vaultsim in ${build#"$root"/} (log: ${build#"$root"/}/demo-build.log)"
    mkdir -p "$build"
    if ! {
        cmake -S "$root" -B "$build" -DVIX_HELPER_DIR="$helpers" -DVIX_BUILD_DESKTOP=OFF \
            -DVIX_BUILD_TESTS=OFF -DVIX_BUILD_BENCH=OFF &&
            cmake --build "$build" -j"$jobs" --target vaultcli vaultsim partrescan
    } >"$build/demo-build.log" 2>&1; then
        tail -n 30 "$build/demo-build.log" >&2
        fail "the build failed"
    fi
}

disk_mode=false
choose_mode() {
    if [ "$(id -u)" -eq 0 ] && [ -w /dev/loop-control ] && [ -w /dev/fuse ]; then
        disk_mode=true
        say "Running as root: the card is attached as a disk under /dev and mounted; the" \
            "real mount helper and partrescan follow its changes."
    else
        say "Not running as root (or no loop devices or FUSE here): the card's image file" \
            "stands in for its partition device."
    fi
}

# On a disk the shipped helpers run for real.
write_real_helpers() {
    mkdir -p "$helpers"
    cp "$build/partrescan/partrescan" "$root/helpers/mountpoint_manager" "$helpers/"
    export VIX_MOUNT_STATE_DIR=$card_folder/mount-notes
}

# A card on an image file has no real mount: the mount helper and the partition
# re-read are stand-ins that log their call and succeed.
write_helpers() {
    if $disk_mode; then
        write_real_helpers
        return
    fi
    mkdir -p "$helpers"
    local name
    for name in mountpoint_manager partrescan udevadm; do
        cat >"$helpers/$name" <<'EOF'
#!/bin/sh
# Demo stand-in: the virtual card has nothing to mount or re-read.
printf '%s %s\n' "${0##*/}" "$*" >>"${0%/*}/calls.log"
exit 0
EOF
        chmod 755 "$helpers/$name"
    done
    : >"$helpers/calls.log"
    # The real udevadm is kept where it works; the stand-in only replaces a
    # missing or failing one.
    if command -v udevadm >/dev/null 2>&1 && timeout 30 udevadm settle >/dev/null 2>&1; then
        rm "$helpers/udevadm"
    else
        PATH=$helpers:$PATH
    fi
}

# The desktop runs on a disk card, whose mount the card library refreshes with the
# real helper programs: a build of its own, with those helpers beside it.
desktop_build=$build/desktop
desktop_helpers=$build/desktop-helpers
desktop_folder=$build/demo-desktop

build_desktop() {
    say "Building vaultdesk, its scripted tour and the host helpers in" \
        "${desktop_build#"$root"/} (log: ${build#"$root"/}/demo-desktop-build.log)"
    mkdir -p "$desktop_build" "$desktop_helpers"
    if ! {
        cmake -S "$root" -B "$desktop_build" -DVIX_HELPER_DIR="$desktop_helpers" \
            -DVIX_BUILD_TESTS=OFF -DVIX_BUILD_BENCH=OFF &&
            cmake --build "$desktop_build" -j"$jobs" \
                --target vaultdesk vaultdesk_tour vaultcli vaultsim partrescan &&
            cp "$desktop_build/partrescan/partrescan" "$root/helpers/mountpoint_manager" \
                "$desktop_helpers/"
    } >"$build/demo-desktop-build.log" 2>&1; then
        tail -n 30 "$build/demo-desktop-build.log" >&2
        fail "the desktop build failed"
    fi
}

# Why a disk card cannot be attached here; empty when it can.
disk_mode_unavailable() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "attaching a card as a disk needs root"
    elif [ ! -e /dev/loop-control ]; then
        echo "no loop devices (/dev/loop-control is missing)"
    elif [ ! -e /dev/fuse ]; then
        echo "no FUSE (/dev/fuse is missing)"
    fi
}

attached_image=
disk= partition= mount= card_pid=
attach_card() {
    rm -rf "$desktop_folder"
    mkdir -p "$desktop_folder"
    attached_image=$desktop_folder/card.img
    printf '$ vaultsim create card.img --disk %s\n' "$*"
    vaultsim create "$attached_image" --disk "$@" >/dev/null || fail "vaultsim create failed"
    printf '$ vaultsim attach card.img\n'
    read -r disk partition mount card_pid < <(vaultsim attach "$attached_image") ||
        fail "vaultsim attach failed: $(cat "$attached_image.log" 2>/dev/null)"
    [ -b "$partition" ] || fail "vaultsim attach gave no partition node"
    echo "The card is $disk, its partition $partition, mounted at $mount."
}
detach_card() {
    if [ -n "$attached_image" ]; then
        vaultsim detach "$attached_image" >/dev/null 2>&1 || true
        # Detach finds the card by its notes under /run/vaultsim; should they be gone, the
        # card's server, which takes its disk away when it ends, is stopped by its pid.
        if [ -n "$card_pid" ] && kill -TERM "$card_pid" 2>/dev/null; then
            while kill -0 "$card_pid" 2>/dev/null; do sleep 0.1; done
        fi
        attached_image= card_pid=
        echo "# The disk card is detached."
    fi
}

desktop_pid=
stop_desktop() {
    if [ -n "$desktop_pid" ]; then
        kill -TERM "$desktop_pid" 2>/dev/null || true
        wait "$desktop_pid" 2>/dev/null || true
        desktop_pid=
    fi
}

desktop_tour() {
    say "No display: a scripted tour of vaultdesk under Xvfb, every step checked and pictured."
    attach_card --example-sessions
    local pictures=$desktop_folder/pictures
    xvfb-run -a -s "-screen 0 1280x1024x24" vaultdesk_tour "$partition" "$attached_image" \
        "$pictures" "$desktop_folder/backup" || fail "the desktop tour failed"
    # '1x1<' resizes nothing but gives every tile the same size: without it a row of tall
    # pictures hides the labels of the row above.
    montage -label '%t' "$pictures"/[0-9]*.png -tile 4x -geometry '1x1<+8+8' -background '#d8d8d8' \
        "$pictures/contact-sheet.png" || fail "montage could not make the contact sheet"
    detach_card
    say "The desktop tour completed. A picture of every step and a contact sheet" \
        "(contact-sheet.png) are in: $pictures"
}

desktop_live() {
    say "vaultdesk on display $DISPLAY with a locked virtual card holding four sessions."
    attach_card --example-sessions --activate "$PIN" --locked
    "$desktop_build/desktop/views/vaultdesk" >"$desktop_folder/vaultdesk.log" 2>&1 &
    desktop_pid=$!
    say "The card's PIN is $PIN. Things to try in the window:" \
        "- select the card $partition, then View Files: log in with the PIN and open a session;" \
        "- Download Files: pick a folder and back up every session, then again into the same" \
        "  folder to see the conflict questions (Merge, Overwrite, Skip, Cancel);" \
        "- Help > Device Information, Configure > Change PIN, Wipe Device." \
        "Closing the window keeps vaultdesk in the tray; end it with Exit in its tray menu or" \
        "with Ctrl-C here. The card is detached when vaultdesk ends."
    wait "$desktop_pid" || true
    desktop_pid=
    detach_card
}

desktop() {
    local why
    why=$(disk_mode_unavailable)
    if [ -n "$why" ]; then
        say "The desktop part is left out: $why."
        return
    fi
    build_desktop
    (
        PATH=$desktop_build/cli:$desktop_build/vcard:$desktop_build/desktop/tour:$PATH
        export VIX_MOUNT_STATE_DIR=$desktop_folder/mount-notes
        trap 'stop_desktop; detach_card' EXIT
        if [ -n "${DISPLAY:-}" ]; then
            desktop_live
        else
            desktop_tour
        fi
    ) || exit 1
}

emulator_pid=
stop_emulator() {
    if [ -n "$emulator_pid" ]; then
        kill -TERM "$emulator_pid" 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
        emulator_pid=
        echo
        echo "# The emulator is stopped."
    fi
}
trap stop_emulator EXIT

start_card() {
    rm -rf "$card_folder"
    mkdir -p "$card_folder"
    cd "$card_folder"
    say "A fresh virtual card with four recorded sessions, served by vaultsim."
    local disk_option=
    if $disk_mode; then
        disk_option=--disk
    fi
    printf '$ vaultsim create card.img --example-sessions %s\n' "$disk_option"
    vaultsim create card.img --example-sessions $disk_option || fail "vaultsim create failed"
    printf '$ vaultsim serve card.img %s &\n' "$disk_option"
    vaultsim serve card.img $disk_option >vaultsim.log 2>&1 &
    emulator_pid=$!
    local tries=0
    until grep -q 'vaultsim: ready' vaultsim.log; do
        kill -0 "$emulator_pid" 2>/dev/null || fail "vaultsim serve ended: $(cat vaultsim.log)"
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || fail "vaultsim serve did not get ready"
        sleep 0.1
    done
    cat vaultsim.log
    if $disk_mode; then
        device=$(sed -n 's/.* partition \([^ ]*\) .*/\1/p' vaultsim.log)
        content=$(sed -n 's/.* mount \([^ ]*\)$/\1/p' vaultsim.log)
        say "The card is $device, mounted at $content:"
        grep -F "$device " /proc/mounts
    fi
}

# run [--input TEXT] COMMAND...: prints the command line and both streams of its
# output; keeps status, out and err for the checks.
device=card.img content=card.img.content
status=0 out= err=
run() {
    local input=
    local shown=$*
    if [ "$1" = --input ]; then
        input=$2
        shift 2
        shown="printf '%s\\n' \"\$PIN\" | $*"
    fi
    printf '$ %s\n' "$shown"
    set +e
    if [ -n "$input" ]; then
        "$@" >stdout.txt 2>stderr.txt <<<"$input"
    else
        "$@" >stdout.txt 2>stderr.txt </dev/null
    fi
    status=$?
    set -e
    out=$(cat stdout.txt)
    err=$(cat stderr.txt)
    [ -z "$out" ] || printf '%s\n' "$out"
    [ -z "$err" ] || printf '%s\n' "$err"
    if [ "$status" -ne 0 ]; then
        printf '(exit status %s)\n' "$status"
    fi
}

expect_status() {
    [ "$status" -eq "$1" ] || fail "expected exit status $1, got $status"
}
expect_line() {
    grep -qxF -- "$1" <<<"$out" || fail "expected the output line '$1'"
}
expect_error_line() {
    grep -qxF -- "$1" <<<"$err" || fail "expected the error line '$1'"
}
expect_quiet_success() {
    expect_status 0
    [ -z "$out$err" ] || fail "expected no output"
}
expect_state() {
    run vaultcli "$device" status
    expect_status 0
    local line
    for line in "$@"; do
        expect_line "$line"
    done
}

# The camera writes into the session being recorded; closing it records it.
record_session() {
    local current
    current=$(awk '$1 == "current-session" { print $3 }' card.img.state)
    [ -n "$current" ] || fail "no current session in card.img.state"
    mkdir -p "card.img.sessions/$current/DCIM"
    head -c "$1" /dev/zero >"card.img.sessions/$current/DCIM/CLIP0001.MP4"
    printf '$ # the camera records %s bytes into session %s\n' "$1" "$current"
    run vaultcli "$device" startNewSession
    expect_quiet_success
    recorded_sessions+=("$current")
}

tour() {
    say "Status of the fresh card: security not activated."
    expect_state "Card state: Transparent" "Read-only: false" "SecurityFlag: 0"

    say "The controller's unique identifier and the firmware version."
    run vaultcli "$device" controllerID
    expect_status 0
    grep -qxE '([0-9a-f]{2})+' <<<"$out" || fail "expected hex pairs"
    run vaultcli "$device" firmwareVersion
    expect_status 0
    expect_line "1.2.3"

    say "The sessions the card has recorded."
    run vaultcli "$device" listSessions
    expect_status 0
    [ "$(wc -l <<<"$out")" -eq 5 ] || fail "expected a header and four sessions"

    say "Activate the security features: PIN $PIN and a separate Admin user with Admin PIN" \
        "$ADMIN_PIN. Activation discards the content and leaves the card read-only for now."
    run vaultcli "$device" activate --pin "$PIN" --adminPin "$ADMIN_PIN" --retryCounter 5
    expect_quiet_success
    expect_state "Card state: Unlocked" "Read-only: true" "PIN Retry Counter: 5" \
        "Admin PIN Retry Counter: 5" "SecurityFlag: 2"

    say "A camera records two sessions on the activated card."
    recorded_sessions=()
    record_session 3000000
    record_session 150000

    say "Log out: the protected content is hidden."
    run vaultcli "$device" logout
    expect_quiet_success
    expect_state "Card state: Locked"

    say "A wrong PIN is refused (status word 0x6f02, exit status 2) and costs one try."
    run vaultcli "$device" login --pin 0000
    expect_status 2
    expect_error_line "Failed, error: 0x6f02"
    expect_state "Card state: Locked" "PIN Retry Counter: 4"

    say "Log in; the PIN comes from standard input, so it shows in no process list."
    run --input "$PIN" vaultcli "$device" login --pin -
    expect_quiet_success
    expect_state "Card state: Unlocked" "PIN Retry Counter: 5"

    say "The sessions recorded since activation."
    run vaultcli "$device" listSessions
    expect_status 0
    [ "$(wc -l <<<"$out")" -eq 3 ] || fail "expected a header and two sessions"
    grep -qE "^${recorded_sessions[0]} +[0-9T:-]+ +2\.9 MB" <<<"$out" ||
        fail "expected session ${recorded_sessions[0]} of 2.9 MB"

    say "Switch to the first of them to read back what it stored."
    run vaultcli "$device" switchToSession --id "${recorded_sessions[0]}"
    expect_quiet_success
    printf '$ ls %s/DCIM\n' "$content"
    ls "$content/DCIM"
    [ "$(stat -c %s "$content/DCIM/CLIP0001.MP4")" -eq 3000000 ] ||
        fail "expected the first session's clip"

    say "Make the whole card read-only, then writable again."
    run vaultcli "$device" setReadOnly
    expect_quiet_success
    expect_state "Read-only: true"
    run vaultcli "$device" setReadWrite
    expect_quiet_success
    expect_state "Read-only: false"

    say "Change the PIN to $NEW_PIN, log out and log in with the new PIN."
    run vaultcli "$device" changePin --pin "$PIN" --newPin "$NEW_PIN"
    expect_quiet_success
    run vaultcli "$device" logout
    expect_quiet_success
    run vaultcli "$device" login --pin "$NEW_PIN"
    expect_quiet_success
    expect_state "Card state: Unlocked"

    say "Wipe the content with the Admin PIN: the security features stay active."
    run vaultcli "$device" wipeContent --adminPin "$ADMIN_PIN"
    expect_quiet_success
    expect_state "Card state: Unlocked" "SecurityFlag: 2"
    run vaultcli "$device" listSessions
    expect_status 0
    [ "$(wc -l <<<"$out")" -eq 1 ] || fail "expected no sessions after the wipe"

    say "Factory reset with the Admin PIN: security off again, the card read-only until" \
        "setReadWrite."
    run vaultcli "$device" factoryReset --adminPin "$ADMIN_PIN"
    expect_quiet_success
    expect_state "Card state: Transparent" "Read-only: true" "SecurityFlag: 0"
    run vaultcli "$device" setReadWrite
    expect_quiet_success
}

desktop
choose_mode
build_programs
PATH=$build/cli:$build/vcard:$PATH
write_helpers
start_card
tour
stop_emulator
say "The tour completed: every step behaved as described."
