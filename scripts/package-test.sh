#!/usr/bin/env bash
# Builds the packages, installs them on this machine with dpkg -i, checks what a user
# meets, purges them and checks that nothing is left. Needs root. Everything it starts,
# attaches or adds is removed again on every way out, and the packages are purged.
#
#   JOBS   parallel build jobs (default 2)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build-package
packages=(vix vix-sim)
test_user=vix-package-test
started=$(date +%s)

step() { printf '\npackage-test: %s\n' "$*"; }
fail() {
    printf 'package-test: FAILED: %s\n' "$*" >&2
    exit 1
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

[ "$(id -u)" -eq 0 ] || fail "run as root: the test installs and purges packages"
for package in "${packages[@]}"; do
    installed "$package" && fail "$package is installed already; purge it first (dpkg --purge ${packages[*]})"
done

work=$(mktemp -d /var/tmp/vix-package-test.XXXXXX)
loops=()
pids=()
user_added=false
card_attached=false
run_udev_existed=false
[ -e /run/udev ] && run_udev_existed=true

cleanup() {
    local status=$?
    local pid loop
    set +e # every step of the clean-up runs, whatever the one before it did
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    [ "$card_attached" = true ] && /usr/bin/vaultsim detach "$work/card.img" >/dev/null 2>&1
    for loop in "${loops[@]}"; do
        losetup -d "$loop" 2>/dev/null || true
    done
    # udevadm test keeps its results under /run/udev when no daemon owns that folder.
    [ "$run_udev_existed" = true ] || rm -rf /run/udev
    [ "$user_added" = true ] && userdel "$test_user" 2>/dev/null
    for package in "${packages[@]}"; do
        installed "$package" && dpkg --purge "$package" >/dev/null 2>&1
    done
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Capabilities of the packages' files, before and after (other programs may have some).
package_capabilities() {
    getcap -r /usr /lib 2>/dev/null | grep -E 'vix|vault|partrescan' | sort || true
}
package_capabilities >"$work/capabilities-before"

step "building the packages"
bash "$root/scripts/package.sh"
debs=()
for package in "${packages[@]}"; do
    debs+=("$out/${package}_$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)_$(dpkg --print-architecture).deb")
done

step "lintian (errors fail the test)"
lintian --fail-on error --display-level '>=warning' "$out"/*.changes ||
    fail "lintian reports errors"

step "installing with dpkg -i"
dpkg -i "${debs[@]}"

step "the helper carries its capabilities"
getcap /usr/share/vix/partrescan | tee "$work/getcap"
grep -q 'cap_dac_override,cap_sys_admin=ep' "$work/getcap" || fail "partrescan lacks its capabilities"

step "without capabilities the installation explains how to set them and does not fail"
mkdir -p "$work/no-setcap"
printf '#!/bin/sh\necho "Failed to set capabilities on file" >&2\nexit 1\n' >"$work/no-setcap/setcap"
chmod 755 "$work/no-setcap/setcap"
PATH=$work/no-setcap:$PATH sh /var/lib/dpkg/info/vix.postinst configure 2>"$work/postinst.err" ||
    fail "the installation script fails when setcap fails"
grep -q 'setcap cap_sys_admin,cap_dac_override+ep /usr/share/vix/partrescan' "$work/postinst.err" ||
    fail "no hint how to set the capabilities: $(cat "$work/postinst.err")"

step "the programs run from /usr/bin"
/usr/bin/vaultcli --version
/usr/bin/vaultsim --help >/dev/null

step "every manual page is found"
for page in vaultcli vaultdesk vaultsim "8 partrescan"; do
    # shellcheck disable=SC2086 # "8 partrescan" is a section and a name
    man -w $page || fail "no manual page $page"
done
pdfinfo /usr/share/doc/vix/Vix_manual.pdf | grep '^Pages:' || fail "the user manual is not a PDF"

step "desktop entries and metainfo validate"
desktop-file-validate /usr/share/applications/example.kendrova.vix.desktop \
    /etc/xdg/autostart/vaultdesk-autostart.desktop || fail "a desktop entry does not validate"
appstreamcli validate --no-net /usr/share/metainfo/example.kendrova.vix.metainfo.xml ||
    fail "the metainfo does not validate"
for size in 48x48 64x64 128x128 256x256; do
    [ -s "/usr/share/icons/hicolor/$size/apps/example.kendrova.vix.png" ] || fail "no $size icon"
done
[ -s /usr/share/icons/hicolor/scalable/apps/example.kendrova.vix.svg ] || fail "no scalable icon"

step "vaultdesk --background shows only its tray icon and quits through the tray menu"
# Sets $found to the visible windows of the program on the test display, one a line.
visible_windows() { found=$(xdotool search --onlyvisible --classname vaultdesk 2>/dev/null || true); }
# Runs "$@" until it succeeds, for up to 30 s.
wait_for() {
    for _ in $(seq 150); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
export DISPLAY=:$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
icewm >"$work/icewm.log" 2>&1 &
pids+=($!)
wait_for xdotool search --name '^SystemTray$' >/dev/null || fail "the window manager's tray did not appear"

# A desktop user of its own: one instance runs per user, and root's may be running.
useradd --system --no-create-home --shell /usr/sbin/nologin "$test_user"
user_added=true
as_user() { runuser -u "$test_user" -- "$@"; }
chmod 755 "$work"
install -d -o "$test_user" -m 700 "$work/home" "$work/runtime"
as_user env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$DISPLAY" \
    /usr/bin/vaultdesk --background >"$work/vaultdesk.log" 2>&1 &
vaultdesk=$!
pids+=("$vaultdesk")
tray_icon_shown() { visible_windows && [ -n "$found" ]; }
wait_for tray_icon_shown || fail "no tray icon"
sleep 1 # a window shown late would be missed otherwise
visible_windows
[ "$(wc -l <<<"$found")" -eq 1 ] || fail "vaultdesk --background shows a window besides its tray icon"
tray_icon=$found
xdotool mousemove --window "$tray_icon" 5 5 click 3
menu_shown() { visible_windows && [ "$(wc -l <<<"$found")" -eq 2 ]; }
wait_for menu_shown || fail "the tray icon has no menu"
menu=$(grep -vx "$tray_icon" <<<"$found")
eval "$(xdotool getwindowgeometry --shell "$menu")"
# The menu's one entry, "Exit", fills it.
xdotool mousemove --window "$menu" $((WIDTH / 2)) $((HEIGHT / 2)) click 1
vaultdesk_ended() { ! kill -0 "$vaultdesk" 2>/dev/null; }
wait_for vaultdesk_ended || fail "vaultdesk still runs after Exit in its tray menu"
wait "$vaultdesk" || fail "vaultdesk exited with status $? after Exit"

step "the udev rule tags the card's disk and partition and leaves other disks alone"
# The virtual card as a disk: loop devices behind /dev/sd<letter> and /dev/sd<letter>1.
/usr/bin/vaultsim create "$work/card.img" --disk --size 32M >/dev/null
read -r card_disk card_partition _ < <(/usr/bin/vaultsim attach "$work/card.img")
card_attached=true
{ [ -b "$card_disk" ] && [ -b "$card_partition" ]; } || fail "vaultsim attach made no disk"
truncate -s 16M "$work/plain.img"
plain_loop=$(losetup --find --show "$work/plain.img")
loops+=("$plain_loop")

# The device in /sys behind a node, for udevadm test (no udev daemon runs here).
sys_path() { echo "/sys/dev/block/$((0x$(stat -c %t "$1"))):$((0x$(stat -c %T "$1")))"; }
udev_tags() { udevadm test "$(sys_path "$1")" 2>/dev/null | sed -n 's/^TAGS=//p'; }
for node in "$card_disk" "$card_partition"; do
    [[ $(udev_tags "$node") == *:uaccess:* ]] || fail "the card's $node is not tagged uaccess"
done
[[ $(udev_tags "$plain_loop") != *:uaccess:* ]] || fail "the plain disk $plain_loop is tagged uaccess"

step "vaultcli works as an unprivileged user once the rule's access is applied"
if as_user /usr/bin/vaultcli "$card_partition" status >/dev/null 2>&1; then
    fail "$test_user could use the card before it had access"
fi
# What logind's uaccess does for the user of the active session: an ACL on each node.
setfacl -m "u:$test_user:rw" "$card_disk" "$card_partition"
as_user /usr/bin/vaultcli "$card_partition" status | tee "$work/status"
grep -qx 'Card state: Transparent' "$work/status" || fail "vaultcli status as $test_user"
as_user /usr/bin/vaultcli "$card_partition" controllerID >/dev/null || fail "vaultcli controllerID as $test_user"
/usr/bin/vaultsim detach "$work/card.img"
card_attached=false

step "purging"
dpkg -L "${packages[@]}" >"$work/files"
dpkg --purge "${packages[@]}"
while read -r path; do
    [ -d "$path" ] || [ ! -e "$path" ] || fail "the purge left $path"
done <"$work/files"
for folder in /usr/share/vix /usr/share/doc/vix /usr/share/doc/vix-sim; do
    [ ! -e "$folder" ] || fail "the purge left $folder"
done
package_capabilities | diff "$work/capabilities-before" - || fail "the purge left capabilities"

echo "package-test: passed in $(($(date +%s) - started)) s"
