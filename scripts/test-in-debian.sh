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
# system. The chroot's mounts live in a mount namespace of the run's own, so
# none reaches the host and none outlives the run, however it ends; a run's
# folder left behind by an interruption is removed by the next.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

# The run itself, inside its own mount namespace: RELEASE RUN_FOLDER.
if [[ ${1:-} == --inside ]]; then
  release=$2 run=$3
  root=$run/root
  # Processes the suite left running would keep the namespace alive.
  ends() {
    local pid
    for pid in /proc/[0-9]*; do
      [[ $(readlink "$pid/root" 2>/dev/null) == "$root"* ]] && kill -KILL "${pid#/proc/}" 2>/dev/null || true
    done
  }
  trap ends EXIT
  # The root a mount point, as on a machine, and the kernel's file systems.
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mount --bind "$run/archives" "$root/var/cache/apt/archives"
  # PELMORA_REQUIRE_PID_NAMESPACE, where set, makes the tests that need a PID
  # namespace fail rather than skip: this machine can make one.
  chroot "$root" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${PELMORA_REQUIRE_PID_NAMESPACE:+PELMORA_REQUIRE_PID_NAMESPACE=$PELMORA_REQUIRE_PID_NAMESPACE} \
    /bin/bash -c 'cd /root/pelmora && bash scripts/test.sh'
  exit
fi

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
mirror="${PELMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
cache="${PELMORA_DEBIAN_CACHE:-/var/cache/pelmora-debian}"
runs="$cache/runs"
base="$cache/$release-minbase.tar"
archives="$cache/$release-archives"
mkdir -p "$runs" "$archives/partial"

missing=()
for tool in debootstrap unshare findmnt; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    debootstrap util-linux mount >/dev/null
fi

# Removes a run's folder, or a debootstrap's, once nothing is mounted in it:
# a mount could lead the removal into the host's files.
remove() {
  local dir=$1 mounts
  mounts=$(findmnt -rn -o TARGET)
  if grep -qF "$dir" <<<"$mounts"; then
    echo "pelmora: $dir has mounts; leaving it" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir" "$dir.log"
}

# What an interrupted run or debootstrap left: its process is gone.
for old in "$runs"/* "$cache"/debootstrap.*; do
  [[ -d $old ]] || continue
  owner=${old##*.}
  [[ $owner =~ ^[0-9]+$ && -d /proc/$owner ]] && continue
  echo "pelmora: removing what an interrupted run left: $old"
  remove "$old" || true
done

# The base system, made once.
if [[ ! -s $base ]]; then
  echo "== debootstrap --variant=minbase $release"
  scratch="$cache/debootstrap.$$"
  if ! debootstrap --variant=minbase "$release" "$scratch" "$mirror" >"$scratch.log" 2>&1; then
    tail -n 20 "$scratch.log" >&2
    remove "$scratch" || true
    exit 1
  fi
  tar -C "$scratch" -cf "$base.part" .
  mv "$base.part" "$base"
  remove "$scratch"
fi

run="$runs/$release.$$"
trap 'remove "$run" || true' EXIT
mkdir -p "$run/root"
ln -s "$archives" "$run/archives"
tar -C "$run/root" -xf "$base"
chmod 0755 "$run/root"  # as a machine's root, whoever made the base system
cp /etc/resolv.conf "$run/root/etc/resolv.conf"

commit=$(git -c safe.directory="$PWD" rev-parse HEAD)
git -c safe.directory="$PWD" clone -q --no-hardlinks . "$run/root/root/pelmora"
git -C "$run/root/root/pelmora" checkout -q --detach "$commit"
echo "== Debian $release: bash scripts/test.sh at ${commit:0:12}"
start=$SECONDS
status=0
unshare --mount --propagation private bash "$0" --inside "$release" "$run" || status=$?
echo "== Debian $release: exit $status after $((SECONDS - start)) s"
exit "$status"
