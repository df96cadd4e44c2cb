#!/usr/bin/env bash
# Installs the build into a temporary prefix, as "cmake --install" does for a
# user, and checks the installed tree: the two programs and nothing else in
# bin/, a desktop entry that desktop-file-validate accepts, the icon in the
# icon theme's sizes, and the installed voriraz-cli working on the sample
# data from another folder.
#
#   InstallTreeTest.sh BUILD_DIR SAMPLE_DATA_DIR
set -euo pipefail
build=$1
sample=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

[ "$(ls "$prefix/bin")" = "$(printf 'voriraz\nvoriraz-cli')" ] || fail "bin/ holds: $(ls "$prefix/bin" | tr '\n' ' ')"
[ -x "$prefix/bin/voriraz" ] && [ -x "$prefix/bin/voriraz-cli" ] || fail "programs not executable"

desktop=$prefix/share/applications/voriraz.desktop
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
grep -qx 'Exec=voriraz' "$desktop" || fail "Exec line"
grep -qx 'Icon=voriraz' "$desktop" || fail "Icon line"
for size in 16 32 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/voriraz.png
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  # PNG signature, then the IHDR width and height as 32-bit big-endian.
  header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
  [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "${size}x${size} icon is no PNG"
  [ "${header:32:16}" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "${size}x${size} icon has another size"
done

# The installed programs run from anywhere; the window's answers --version
# without a display.
cd /
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/voriraz" --version)
[[ $version == "voriraz "* ]] || fail "voriraz --version printed: $version"
# The sample's odd presets show what a save changes; the plain ones pass.
"$prefix/bin/voriraz-cli" check --data "$sample" hero_aunvelka.xdb hero_ossiwend.xdb || fail "check of the sample data"
set +e
"$prefix/bin/voriraz-cli" check --data "$sample" >/dev/null
status=$?
set -e
[ $status -eq 1 ] || fail "check of the whole sample data: exit status $status"
stats=$("$prefix/bin/voriraz-cli" stats --data "$sample" hero_ossiwend.xdb)
[ "$stats" = "$(printf 'Total experience: 96\nTotal cost (gold): 348\nTotal power: 1056')" ] || fail "stats: $stats"
copy=$(mktemp -d -p "$prefix")
cp -r "$sample" "$copy/data"
"$prefix/bin/voriraz-cli" resave --data "$copy/data" hero_ossiwend.xdb -o "$copy/out.xdb" || fail "resave -o"
cmp -s "$copy/out.xdb" <("$prefix/bin/voriraz-cli" resave --stdout --data "$copy/data" hero_ossiwend.xdb) \
  || fail "resave -o wrote another document than --stdout prints"
"$prefix/bin/voriraz-cli" pack --data "$copy/data" "$copy/mod.pak" >/dev/null || fail "pack"
unzip -tq "$copy/mod.pak" >/dev/null || fail "the packed archive does not test clean"

# Without --data the installed tool looks beside itself, where an install
# puts no data, and says so.
set +e
message=$("$prefix/bin/voriraz-cli" check 2>&1 >/dev/null)
status=$?
set -e
[ $status -eq 2 ] || fail "check without data: exit status $status"
[ "$message" = "voriraz-cli: data folder \"$prefix/bin/data\" not found" ] || fail "check without data: $message"
echo "installed tree in $prefix checked"
