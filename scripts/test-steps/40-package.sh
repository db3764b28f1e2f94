#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package and checks what it holds and what it asks for:
# its files and their modes, its dependencies (the package names of the
# release it was built on), the desktop files inside it, that the shipped
# binary loads, and lintian.
set -euo pipefail
cd "$(dirname "$0")/../.."

dir=build-pkg
bash scripts/package.sh "$dir" >/dev/null
deb=$(ls "$dir"/pelmora_*.deb)
version=$(sed -n 's/^project(Pelmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL $*" >&2
  failed=1
}

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == pelmora ]] || fail "Package is $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version $(field Version) is not $version"
[[ $(field Architecture) == $(dpkg --print-architecture) ]] || fail "Architecture $(field Architecture)"
[[ ${deb##*/} == "pelmora_${version}_$(dpkg --print-architecture).deb" ]] || fail "file name ${deb##*/}"

# Every dependency is a Debian package, each one installed on this machine,
# where it was built; and it names the package of every library the binary
# links against, and of the X platform plug-in Qt loads at run time, as this
# release calls them (libqt6core6 on Debian 12, libqt6core6t64 on 13).
depends=$(field Depends)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/ //g' | grep .)
# The package that holds a file, by its path as the loader found it or as
# the package lists it (under /usr, where /lib is a link to /usr/lib).
owner() {
  local path
  for path in "$1" "$(readlink -f "$1")" "/usr$1"; do
    dpkg-query -S "$path" 2>/dev/null | sed -n '1s/[:,].*//p' | grep . && return
  done
  return 1
}
built=$dir/src/app/qt/pelmora
needed=$(readelf -d "$built" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ -n $needed ]] || fail "readelf finds no library that $built needs"
linked=$(ldd "$built")
while read -r soname; do
  path=$(awk -v so="$soname" '$1 == so && $2 == "=>" {print $3}' <<<"$linked")
  if [[ -z $path ]]; then
    fail "the loader does not find $soname"
    continue
  fi
  if ! package=$(owner "$path"); then
    fail "no installed package holds $path (for $soname)"
    continue
  fi
  grep -Fqx "$package" <<<"$names" || fail "Depends lacks $package (for $soname): $depends"
done <<<"$needed"
plugin=$(dpkg-query -S '*/qt6/plugins/platforms/libqxcb.so' 2>/dev/null | sed -n '1s/[:,].*//p' || true)
[[ -n $plugin ]] || fail "no installed package holds Qt's X platform plug-in"
grep -Fqx "$plugin" <<<"$names" || fail "Depends lacks $plugin (Qt's X platform plug-in): $depends"
while read -r name; do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
    fail "Depends names $name, which is no installed Debian package"
done <<<"$names"
[[ $(field Recommends) == "fonts-noto-cjk"* ]] || fail "Recommends: $(field Recommends)"
[[ -z $(field Pre-Depends) ]] || fail "unexpected Pre-Depends"

# The files, exactly, with their owners and modes.
expected="-rwxr-xr-x root/root ./usr/bin/pelmora
-rw-r--r-- root/root ./usr/share/applications/pelmora.desktop
-rw-r--r-- root/root ./usr/share/doc/pelmora/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/pelmora/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/16x16/apps/pelmora.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/32x32/apps/pelmora.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/48x48/apps/pelmora.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/pelmora.svg
-rw-r--r-- root/root ./usr/share/man/man1/pelmora.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | LC_ALL=C sort -k3)
if [[ $actual != "$expected" ]]; then
  fail "package contents differ:"
  diff <(echo "$expected") <(echo "$actual") >&2 || true
fi

# What it installs, looked at from the unpacked tree.
dpkg-deb -x "$deb" "$work/root"
share=$work/root/usr/share
for size in 16 32 48; do
  got=$(identify -format '%wx%h' "$share/icons/hicolor/${size}x$size/apps/pelmora.png")
  [[ $got == "${size}x$size" ]] || fail "the ${size}px icon is $got"
done
desktop-file-validate "$share/applications/pelmora.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --no-color \
  "$share/metainfo/org.pelmora.Pelmora.metainfo.xml" >/dev/null || fail "appstreamcli validate"
grep -qx 'Icon=pelmora' "$share/applications/pelmora.desktop" || fail "desktop entry's icon"
grep -qx 'Exec=pelmora' "$share/applications/pelmora.desktop" || fail "desktop entry's command"
grep -q '<launchable type="desktop-id">pelmora.desktop</launchable>' \
  "$share/metainfo/org.pelmora.Pelmora.metainfo.xml" || fail "metainfo names another desktop entry"
file "$work/root/usr/bin/pelmora" | grep -q ', stripped' || fail "the binary is not stripped"
# The shipped binary finds its libraries and, with no display, says so.
set +e
message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/pelmora" 2>&1)
status=$?
set -e
[[ $status == 1 && $message == *"no display"* ]] || fail "the shipped binary: status $status, '$message'"

# The licence: a machine-readable copyright file naming MIT, as the metainfo does.
copyright=$share/doc/pelmora/copyright
format=https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
[[ $(head -n1 "$copyright") == "Format: $format" ]] ||
  fail "the copyright file is not in the machine-readable format"
grep -qx 'License: MIT' "$copyright" || fail "the copyright file names no MIT licence"
sed -n '/^License: MIT$/,/^[^ ]/{/^ /{s/^ \.$//; s/^ //; p}}' "$copyright" |
  cmp -s - <(sed -n '/^Permission/,$p' LICENSE) ||
  fail "the copyright file's licence text is not LICENSE's"
grep -q '<project_license>MIT</project_license>' \
  "$share/metainfo/org.pelmora.Pelmora.metainfo.xml" || fail "the metainfo names no MIT licence"

# Lintian, with nothing suppressed: no error or warning, not even a note or
# a pedantic remark about the copyright file or the licence, and no
# hardening-* tag.
if command -v lintian >/dev/null; then
  set +e
  report=$(lintian --fail-on error,warning --display-level '>=pedantic' "$deb" 2>&1)
  status=$?
  set -e
  grep -v '^running with root privileges' <<<"$report" || true
  ((status == 0)) || fail "lintian"
  if grep -Ei '^[EWIPX]: [^ ]+: [^ ]*(copyright|licen[cs]e)' <<<"$report" >/dev/null; then
    fail "lintian remarks on the copyright file or the licence"
  fi
  # The binary is hardened: lintian reports what it lacks as info tags.
  if grep -E '^[EWIPX]: [^ ]+: hardening-' <<<"$report" >/dev/null; then
    fail "lintian finds the binary not hardened"
  fi
else
  fail "lintian is not installed (bash scripts/setup.sh --test installs it)"
fi

if ((failed)); then
  echo "package: checks failed for ${deb##*/}" >&2
  exit 1
fi
echo "package: ${deb##*/} ($(du -k "$deb" | cut -f1) KB) checked: contents, dependencies, validators, lintian"
