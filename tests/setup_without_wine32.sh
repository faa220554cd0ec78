#!/bin/bash
# `./build.sh setup` where 32-bit Wine cannot be installed, as while the
# archive's i386 index is mid-sync (here it is pinned away): everything else
# is installed, one line says why 32-bit Wine was skipped, and setup succeeds.
# apt and dpkg run on a throwaway copy of their state: the package database
# less wine32 and unzip, the machine's package lists served from files (no
# network needed), and apt only simulates. Exits 77 (skipped) when not root or
# without apt.
# usage: setup_without_wine32.sh SOURCE_DIR
set -u
source=$1
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then echo "skipped: needs root and apt"; exit 77; fi
lists=(/var/lib/apt/lists/*_Packages*)
if [ ! -e "${lists[0]}" ]; then echo "skipped: no package lists (run apt-get update)"; exit 77; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/dpkg/updates" "$work/dpkg/info" "$work/lists/partial" "$work/cache/archives/partial" "$work/parts"
awk -v RS= -v ORS='\n\n' '!/^Package: (wine32|unzip)\n/' /var/lib/dpkg/status >"$work/dpkg/status"
cp /var/lib/dpkg/arch "$work/dpkg/arch" 2>/dev/null
for list in "${lists[@]}"; do
  repo=$work/repo/$(basename "${list%%_Packages*}")
  mkdir -p "$repo"
  /usr/lib/apt/apt-helper cat-file "$list" >"$repo/Packages"
  echo "deb [trusted=yes] file:$repo ./" >>"$work/sources.list"
done
printf 'Package: wine32:i386\nPin: release *\nPin-Priority: -1\n' >"$work/preferences"
cat >"$work/apt.conf" <<EOF
Dir::State::status "$work/dpkg/status";
Dir::State::Lists "$work/lists";
Dir::Cache "$work/cache";
Dir::Etc::SourceList "$work/sources.list";
Dir::Etc::SourceParts "$work/parts";
Dir::Etc::Preferences "$work/preferences";
Dir::Etc::PreferencesParts "$work/parts";
APT::Get::Simulate "true";
APT::Sandbox::User "root";
EOF

out=$(APT_CONFIG="$work/apt.conf" DPKG_ADMINDIR="$work/dpkg" "$source/build.sh" setup 2>&1)
status=$?
skipped=$(grep '^32-bit Wine skipped' <<<"$out")
fail() { echo "$1"; echo "--- ./build.sh setup said:"; echo "$out"; exit 1; }
[ $status -eq 0 ] || fail "setup failed (exit status $status)"
grep -q '^Inst unzip ' <<<"$out" || fail "unzip was not installed"
if [ "$(grep -c . <<<"$skipped")" -ne 1 ] || ! grep -q "wine32:i386" <<<"$skipped"; then
  fail "no one line saying why 32-bit Wine was skipped"
fi
echo "$skipped"
