#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the whole test suite on a fresh machine of a Debian release, as a
# newcomer would have it: a minimal debootstrap chroot, its root a mount
# point, no locale, nothing installed beyond the base system. The commit at
# HEAD is cloned into it and `bash scripts/test.sh` runs there, as root.
#   bash scripts/test-in-debian.sh RELEASE      (12, 13, bookworm or trixie)
# Kept between runs, under PELMORA_DEBIAN_CACHE (default
# /var/cache/pelmora-debian): the untouched base system as debootstrap made
# it, and the package files apt downloaded. Neither installs anything, so a
# missing install step still fails here. Every run starts from the base
# system; a run left behind by an interruption is cleared by the next.
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  12 | bookworm) release=bookworm ;;
  13 | trixie) release=trixie ;;
  *)
    echo "usage: bash scripts/test-in-debian.sh 12|13|bookworm|trixie" >&2
    exit 2
    ;;
esac
if [[ $(id -u) -ne 0 ]]; then
  echo "pelmora: a chroot needs root" >&2
  exit 1
fi
export LC_ALL=C
mirror="${PELMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
cache="${PELMORA_DEBIAN_CACHE:-/var/cache/pelmora-debian}"
runs="$cache/runs"
base="$cache/$release-minbase.tar"
archives="$cache/$release-archives"
mkdir -p "$runs" "$archives/partial"

if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

# Unmounts everything under a run's folder, deepest first, then removes it;
# the folder is removed only once no mount is left inside it.
clear_run() {
  local dir=$1 pid mounts
  for pid in /proc/[0-9]*; do
    [[ $(readlink "$pid/root" 2>/dev/null) == "$dir/root"* ]] && kill -KILL "${pid#/proc/}" 2>/dev/null
  done
  mounts=$(findmnt -rn -o TARGET | grep -F "$dir/" | sort -r || true)
  while read -r mount; do
    [[ -n $mount ]] && umount -l "$mount" 2>/dev/null
  done <<<"$mounts"
  if findmnt -rn -o TARGET | grep -qF "$dir/"; then
    echo "pelmora: mounts are left under $dir; not removing it" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

# Runs left behind: their process is gone.
for old in "$runs"/*; do
  [[ -d $old ]] || continue
  owner=${old##*.}
  if [[ ! -d /proc/$owner ]] || [[ $owner == "$$" ]]; then
    echo "pelmora: clearing a run left behind: $old"
    clear_run "$old"
  fi
done

# The base system, made once.
if [[ ! -s $base ]]; then
  echo "== debootstrap --variant=minbase $release"
  scratch=$(mktemp -d "$cache/debootstrap.XXXXXX")
  if ! debootstrap --variant=minbase "$release" "$scratch" "$mirror" >"$scratch.log" 2>&1; then
    tail -n 20 "$scratch.log" >&2
    rm -rf --one-file-system "$scratch"
    exit 1
  fi
  tar -C "$scratch" -cf "$base.part" .
  mv "$base.part" "$base"
  rm -rf --one-file-system "$scratch" "$scratch.log"
fi

run="$runs/$release.$$"
root="$run/root"
mkdir -p "$root"
trap 'clear_run "$run"' EXIT
tar -C "$root" -xf "$base"

# The root a mount point, as on a machine, and the kernel's file systems.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount --bind "$archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"

commit=$(git rev-parse HEAD)
git clone -q --no-hardlinks . "$root/root/pelmora"
git -C "$root/root/pelmora" checkout -q --detach "$commit"
echo "== Debian $release: bash scripts/test.sh at ${commit:0:12}"
start=$SECONDS
status=0
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c 'cd /root/pelmora && bash scripts/test.sh' || status=$?
echo "== Debian $release: exit $status after $((SECONDS - start)) s"
exit "$status"
