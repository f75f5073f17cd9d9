#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The real machine: a Debian 12 guest under qemu, systemd as PID 1, booted
# once per step of guest.sh: the package installed and the machine switched
# off, a power-off scheduled for the service to do, three power cuts, an
# upgrade and a purge.
#   vm_test.sh <verdimoor_<version>_amd64.deb> <source folder> <next version> <work folder>
#   vm_test.sh <verdimoor_<version>_amd64.deb> <source folder> - <work folder> measure <heartbeats>
# The second form is scripts/bench-heartbeat-writes: one boot that counts the
# sectors the heartbeats write.
# The image is built once into the work folder and kept. Between boots the
# guest's disk is read with debugfs, never mounted. Every process started here
# is stopped by its process id, pass or fail.
set -uo pipefail

deb=$1 source=$2 next=$3 work=$4 measure=${6-}
here=$(cd "$(dirname "$0")" && pwd)
for tool in qemu-system-x86_64 mmdebstrap debugfs mkfs.ext4 e2fsck cmake; do
    command -v "$tool" >/dev/null || { echo "missing prerequisite: $tool"; exit 1; }
done
[ -f "$deb" ] || { echo "missing prerequisite: $deb"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# What runs here runs in process groups of its own, each led by its first
# process: the next version's build, and the image's build or qemu.
builder='' group=''
stop() {
    [ -n "$builder" ] && kill -- "-$builder" 2>/dev/null
    [ -n "$group" ] && kill -- "-$group" 2>/dev/null
}
trap stop EXIT
trap 'exit 1' TERM INT
in_group() {
    setsid "$@" &
    group=$!
    wait "$group"
    local code=$?
    group=''
    return "$code"
}
mkdir -p "$work"

# The next version's package, built while the image is.
next_build=$work/next
[ -n "$measure" ] || setsid bash -c 'cmake --preset deb -S "$1" -B "$2" -DVERDIMOOR_VERSION="$3" -DVERDIMOOR_PACKAGE_DIR="$2/packages" &&
    cmake --build "$2" -j2 && cd "$2" && cpack -G DEB' - "$source" "$next_build" "$next" >"$work/next.log" 2>&1 &
[ -n "$measure" ] || builder=$!

# The image: minbase with systemd and the kernel, and a unit that runs the
# driver from the second disk, a tar file. Masked: the serial getty, whose
# hang-up would cut the driver's output, a slow start-up service, and the
# daily timers that would take dpkg's lock or write to the disk. Only the
# kernel modules that a virtio disk with ext4 needs are unpacked: the rest
# would triple the build's time.
image=$work/image
mirror=http://deb.debian.org/debian
modules='/lib/modules/*/kernel'
driver_unit='[Unit]
Description=The real-machine test driver, from the second disk
Requires=dev-vdb.device
After=dev-vdb.device
[Service]
Type=exec
ExecStart=/bin/sh -c "mkdir -p /run/vm && tar -xf /dev/vdb -C /run/vm && exec bash /run/vm/guest.sh"
SuccessAction=poweroff
FailureAction=poweroff
StandardOutput=tty
StandardError=tty
TTYPath=/dev/ttyS0
[Install]
WantedBy=multi-user.target'
recipe=(--mode=unshare --variant=minbase '--include=systemd-sysv,linux-image-amd64,dbus,udev,libstdc++6,jq,man-db'
    --dpkgopt=force-unsafe-io --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*'
    --dpkgopt='path-include=/usr/share/man/man[18]' --dpkgopt='path-include=/usr/share/man/man[18]/verdimoor*'
    --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt="path-exclude=$modules/*")
for kept in drivers/virtio/\* drivers/block/virtio_blk.ko fs/ext4/\* fs/jbd2/\* fs/mbcache.ko fs/autofs/\* \
    lib/\* crypto/\* arch/\*; do
    recipe+=(--dpkgopt="path-include=$modules/$kept")
done
recipe+=(--customize-hook='echo verdimoor-vm >"$1/etc/hostname"'
    --customize-hook='echo "/dev/vda / ext4 defaults 0 1" >"$1/etc/fstab"'
    --customize-hook='for unit in serial-getty@ttyS0.service e2scrub_reap.service e2scrub_all.timer apt-daily.timer \
        apt-daily-upgrade.timer dpkg-db-backup.timer fstrim.timer; do ln -s /dev/null "$1/etc/systemd/system/$unit"; done'
    --customize-hook="printf '%s\n' '$driver_unit' >\"\$1/etc/systemd/system/vm-driver.service\""
    --customize-hook='ln -s /etc/systemd/system/vm-driver.service "$1/etc/systemd/system/multi-user.target.wants/"'
    bookworm)
if [ "$(cat "$image/recipe" 2>/dev/null)" != "$(printf '%s\n' "${recipe[@]}")" ]; then
    rm -rf "$image"
    mkdir -p "$image"
    /usr/lib/apt/apt-helper download-file "$mirror/dists/bookworm/InRelease" "$image/InRelease" >/dev/null 2>&1 ||
        { echo "missing prerequisite: the Debian mirror $mirror"; exit 1; }
    began=$SECONDS
    if ! in_group mmdebstrap "${recipe[@]}" "$image/root" "$mirror" >"$image/mmdebstrap.log" 2>&1; then
        tail -n 20 "$image/mmdebstrap.log"
        echo "cannot build the image: mmdebstrap failed"
        exit 1
    fi
    cp "$image"/root/boot/vmlinuz-* "$image/vmlinuz"
    cp "$image"/root/boot/initrd.img-* "$image/initrd.img"
    truncate -s 1G "$image/disk.img"
    mkfs.ext4 -q -L verdimoor-vm -d "$image/root" "$image/disk.img" || { echo "cannot build the image: mkfs.ext4"; exit 1; }
    rm -rf "$image/root"
    printf '%s\n' "${recipe[@]}" >"$image/recipe"
    echo "image built in $((SECONDS - began)) s"
fi

if [ -n "$measure" ]; then
    next_deb=$deb
else
    wait "$builder"
    code=$?
    builder=
    next_deb=$next_build/packages/verdimoor_${next}_amd64.deb
    [ "$code" = 0 ] && [ -f "$next_deb" ] || { tail -n 20 "$work/next.log"; echo "cannot build version $next"; exit 1; }
fi

disk=$work/disk.img
cp --sparse=always "$image/disk.img" "$disk"
opt=/opt/verdimoor
stored=$work/stored.log
: >"$stored"

# Boots the guest with the step given (the step file's lines) and prints the
# driver's report; fails when the guest neither powers off nor resets in time.
# Sets "at" to the moment the driver reported with the words given, in seconds
# since the epoch; without it, the boots that follow would be meaningless.
boot() {
    local name=$1 limit=$2 words=$3 code began=$SECONDS
    shift 3
    echo "== $name"
    rm -rf "$work/payload"
    mkdir -p "$work/payload"
    cp "$here/guest.sh" "$work/payload/"
    cp "$deb" "$work/payload/first.deb"
    cp "$next_deb" "$work/payload/next.deb"
    printf '%s\n' "$@" >"$work/payload/step"
    tar -cf "$work/payload.tar" -C "$work/payload" .
    in_group timeout "$limit" qemu-system-x86_64 -accel tcg -cpu max -smp 2 -m 1024 -nodefaults -no-reboot -display none \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" -append "root=/dev/vda rw console=ttyS0 quiet" \
        -drive file="$disk",format=raw,if=virtio,cache=unsafe \
        -drive file="$work/payload.tar",format=raw,if=virtio,readonly=on \
        -serial file:"$work/$name.serial" -monitor none
    code=$?
    tr -d '\r' <"$work/$name.serial" | grep -a '^vm: ' | tee "$work/$name.out"
    failures=$((failures + $(grep -c '^vm: FAIL' "$work/$name.out")))
    echo "($((SECONDS - began)) s)"
    [ "$code" = 0 ] || fail "$name: qemu ended with $code (124: no power-off or reset within $limit s)"
    at=$(sed -n "s/^vm: $words \([0-9]*\)$/\1/p" "$work/$name.out")
    [ -n "$at" ] || { tail -n 30 "$work/$name.serial"; fail "$name: the driver did not report '$words'"; exit 1; }
}
# A regular expression for the day and minute of the log's lines written
# within the two moments given (less than a minute apart), and as the report
# prints them.
minutes() { echo "($(date -u -d "@$1" '+%-d %H %M' | awk '{print $1, $2 * 60 + $3}')|$(date -u -d "@$2" '+%-d %H %M' |
    awk '{print $1, $2 * 60 + $3}'))"; }
iso() { date -u -d "@$1" +%Y-%m-%dT%H:%M; }

# The guest's disk as its next boot finds it: a copy, whose journal is
# replayed as the next mount would do it.
snapshot=$work/snapshot.img
take_snapshot() {
    cp --sparse=always "$disk" "$snapshot"
    e2fsck -p -E journal_only "$snapshot" >/dev/null 2>&1
}

# Checks the lines the last boot added to the logs as stored against the
# regular expression given, with a line feed for each line's CR LF; the
# earlier lines must be as they were.
logs_added() {
    local what=$1 expected=${2//$'\n'/$'\r\n'}$'\r\n' name before text
    take_snapshot
    before=$(stat -c %s "$stored")
    for name in $(debugfs -R "ls -p $opt" "$snapshot" 2>/dev/null | awk -F/ '$6 ~ /^[0-9]+_[0-9]+\.log$/ {print $6}' |
        sort -t_ -k1,1n -k2,2n); do
        debugfs -R "cat $opt/$name" "$snapshot" 2>/dev/null
    done >"$stored.new"
    cmp -s -n "$before" "$stored" "$stored.new" || fail "$what: the earlier lines changed"
    mv "$stored.new" "$stored"
    text=$(tail -c +$((before + 1)) "$stored" && echo .)
    [[ ${text%.} =~ ^$expected$ ]] && pass "$what" || fail "$what: $(tail -c +$((before + 1)) "$stored" | cat -A)"
}

if [ -n "$measure" ]; then
    boot measure $((measure * 60 + 300)) 'poweroff at' "measure $measure"
    exit $((failures > 0))
fi

record='[0-9]+ [0-9]+'
began=$SECONDS
boot install 240 'poweroff at' install
logs_added "installed, then switched off: UP, DOWN" "$record UP
$(minutes "$at" $((at + 20))) DOWN {4}"

boot schedule 300 scheduled schedule "down $(iso "$at") $(iso $((at + 20)))"
logs_added "scheduled power-off: DOWN in the scheduled minute" "$record UP
$record DOWN {4}
$record UP
$(minutes "$at" "$at") DOWN {4}"
# The shutdown's DOWN over PDOWN, which the report finds on schedule.
previous="pdown $(iso "$at") $(iso "$at")"
# A boot within the scheduled minute would find it due and be switched off
# again by the service, before its step is done.
[ "$(date +%s)" -gt $((at + 60)) ] || sleep $((at + 61 - $(date +%s)))

for cut in 1 2 3; do
    # Between the service's start and a while after its second heartbeat.
    delay=$((RANDOM % 76))
    boot "cut$cut" 240 'cut at' "cut $delay" "$previous"
    # The closing line is no older than the last heartbeat before the cut;
    # before the first one, the announcement of the schedule left from the
    # power-off boot is still there.
    logs_added "power cut $cut after $delay s: UP, CRASH" "$record UP
$(minutes $((at - 32)) $((at + 2))) CRASH(
[0-9]+ [0-9]+ $opt/PowerOFF.txt APDOWN)?"
    previous="crash $(iso $((at - 32))) $(iso $((at + 2)))"
done

boot upgrade 300 'poweroff at' "upgrade $next" "$previous"
take_snapshot
for path in $opt/PowerOFF.txt $opt/verdimoor /usr/lib/systemd/system/verdimoor.service /usr/bin/verdimoor-report; do
    debugfs -R "stat $path" "$snapshot" 2>/dev/null | grep -q '^Inode:' && found=present || found=absent
    echo "$found: $path"
done >"$work/purged"
[ "$(cat "$work/purged")" = "present: $opt/PowerOFF.txt
absent: $opt/verdimoor
absent: /usr/lib/systemd/system/verdimoor.service
absent: /usr/bin/verdimoor-report" ] && pass "purged, PowerOFF.txt left" || fail "after the purge: $(cat "$work/purged")"

echo "boots took $((SECONDS - began)) s"
[ "$failures" = 0 ]
