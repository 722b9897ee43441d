#!/bin/sh
# Lays out an AppDir with the packaging's own script, the probe standing in for the program (and
# for its unpacking helper), and checks that AppRun starts it with APPDIR set and that the
# AppImage detection finds the icon in it. Arguments: cmake, MakeAppDir.cmake, probe, icon,
# desktop entry, AppRun, work folder.
set -eu

cmake=$1 layout=$2 probe=$3 icon=$4 desktop=$5 apprun=$6 work=$7

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

expect_line() {
    printf '%s\n' "$1" | grep -qxF -- "$2" || fail "expected the line '$2' in:
$1"
}

rm -rf "$work"
mkdir -p "$work/home"
work=$(cd "$work" && pwd -P) # AppRun sees its own place with links resolved
appdir="$work/Zorva Manager.AppDir" # a space on the way, as in a user's folder names

"$cmake" -DAPPDIR="$appdir" -DEXECUTABLE="$probe" -DUNPACK="$probe" -DICON="$icon" -DDESKTOP="$desktop" -DAPPRUN="$apprun" \
    -P "$layout"

# The standard AppDir layout.
[ -x "$appdir/AppRun" ] || fail "AppRun is missing or not executable"
[ -x "$appdir/usr/bin/ZorvaManager" ] || fail "usr/bin/ZorvaManager is missing or not executable"
[ -f "$appdir/zorvamanager.png" ] && [ ! -L "$appdir/zorvamanager.png" ] || fail "the top-level icon is missing"
cmp -s "$icon" "$appdir/usr/share/icons/hicolor/512x512/apps/zorvamanager.png" || fail "the hicolor icon is missing"
[ "$(readlink "$appdir/.DirIcon")" = zorvamanager.png ] || fail ".DirIcon does not point at the icon"
[ "$(ls "$appdir"/*.desktop | wc -l)" -eq 1 ] || fail "the AppDir needs exactly one desktop entry at its top"
grep -qx 'Exec=ZorvaManager' "$appdir"/*.desktop || fail "the desktop entry does not start ZorvaManager"
grep -qx 'Icon=zorvamanager' "$appdir"/*.desktop || fail "the desktop entry does not name the icon"

if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$appdir"/*.desktop || fail "desktop-file-validate rejects the AppDir's desktop entry"
else
    echo "note: desktop-file-validate is not installed; the desktop entry was not validated"
fi

# A file with the type-2 AppImage header stands in for the image the runtime was started from.
fake="$work/ZorvaManager-x86_64.AppImage"
printf '\177ELF\002\001\001\000AI\002' >"$fake"
head -c 4096 /dev/zero >>"$fake"
chmod 755 "$fake"

# As the AppImage runtime starts it: APPDIR and APPIMAGE set.
out=$(env HOME="$work/home" XDG_DATA_HOME= APPIMAGE="$fake" APPDIR="$appdir" "$appdir/AppRun" "two words" '$HOME')
expect_line "$out" "APPDIR=$appdir"
expect_line "$out" "isAppImage=true"
expect_line "$out" "isIntegrated=false"
expect_line "$out" "appImagePath=$fake"
expect_line "$out" "iconPath=$appdir/zorvamanager.png"
expect_line "$out" "argument=two words"
expect_line "$out" 'argument=$HOME'

# Started by hand from the extracted AppDir (APPDIR unset), also through a link to AppRun.
mkdir -p "$work/bin"
ln -s "$appdir/AppRun" "$work/bin/zorvamanager"
for entry in "$appdir/AppRun" "$work/bin/zorvamanager"; do
    out=$(env -u APPDIR HOME="$work/home" APPIMAGE="$fake" "$entry")
    expect_line "$out" "APPDIR=$appdir"
    expect_line "$out" "isAppImage=true"
    expect_line "$out" "iconPath=$appdir/zorvamanager.png"
done

# Without the top-level icon the hicolor copy is found.
rm "$appdir/zorvamanager.png"
out=$(env HOME="$work/home" APPIMAGE="$fake" APPDIR="$appdir" "$appdir/AppRun")
expect_line "$out" "iconPath=$appdir/usr/share/icons/hicolor/512x512/apps/zorvamanager.png"

# Not started from an AppImage: nothing is detected.
out=$(env -u APPIMAGE HOME="$work/home" "$appdir/AppRun")
expect_line "$out" "isAppImage=false"
expect_line "$out" "iconPath="

rm -rf "$work"
echo "AppDir test passed"
