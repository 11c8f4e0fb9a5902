#!/usr/bin/env bash
# One session of use with real input events under Xvfb: open a file given on the command line (its name is
# not UTF-8, so it must reach the editor as bytes and show with U+FFFD), select the root, add a key with
# Return, double-click its value and type one, undo twice and redo twice with the keyboard, checking the
# window title's edited mark at each step, save with Ctrl+S, quit with Ctrl+Q, and check the saved file with
# vantrel-cli. A screenshot of each step is kept in the output folder.
#   tests/e2e/session.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
out=${2:-$build/e2e-session}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/*.png

# Xvfb picks a free display itself and writes its number to the pipe once it accepts connections.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -t 30 number <&"$fd" || { echo "e2e session: Xvfb did not start" >&2; exit 1; }
exec {fd}>&-
display=:$number
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb

doc="$out/Session"$'\xe9'".plist"
cp "$here/Session.plist" "$doc"
"$build/cli/vantrel-cli" print "$doc" >"$out/before.txt"

export XDG_CONFIG_HOME="$out/config" XDG_RUNTIME_DIR="$out/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$build/app/vantrel" --separate-process "$doc" &
app=$!

step=0
fail() { echo "e2e session: $*" >&2; exit 1; }
shot() { step=$((step + 1)); import -window root "$out/$(printf %02d "$step")-$1.png"; }
title() { xdotool getwindowname "$win"; }
expect_title() {
    local want=$1 got=""
    for _ in $(seq 30); do got=$(title); [ "$got" = "$want" ] && return 0; sleep 0.1; done
    fail "title is '$got', expected '$want' (step $step)"
}

win=""
for _ in $(seq 100); do win=$(xdotool search --name '^Session' 2>/dev/null | head -1) && [ -n "$win" ] && break; sleep 0.1; done
[ -n "$win" ] || fail "the window did not appear"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")" # X, Y, WIDTH, HEIGHT
plain="Session"$'\xef\xbf\xbd'".plist"
edited="$plain — Edited"
expect_title "$plain"
shot opened

# The rows start below the menu bar and the column header; every row has the same height.
row_y() { echo $((Y + ${ROWS_TOP:-54} - 16 + ${ROW_HEIGHT:-22} * $1 + ${ROW_HEIGHT:-22} / 2)); }
xdotool mousemove $((X + 60)) "$(row_y 0)" click 1
sleep 0.3
shot root-selected
xdotool key Return
sleep 0.6 # the new key's field opens a moment after the insertion
expect_title "$edited"
xdotool type --delay 30 "e2eKey"
xdotool key Return
sleep 0.3
shot key-typed
# The new entry is the root's first child, in row 1; its value column starts after key and type columns.
xdotool mousemove $((X + 420)) "$(row_y 1)" click --repeat 2 --delay 90 1
sleep 0.4
xdotool type --delay 30 "e2e value"
shot value-typed
xdotool key Return
sleep 0.3
expect_title "$edited"
shot value-committed

xdotool key ctrl+z; sleep 0.3; expect_title "$edited"; shot undo-1
xdotool key ctrl+z; sleep 0.3; expect_title "$edited"; shot undo-2
xdotool key ctrl+shift+z; sleep 0.3; expect_title "$edited"; shot redo-1
xdotool key ctrl+shift+z; sleep 0.3; expect_title "$edited"; shot redo-2

xdotool key ctrl+s
sleep 0.5
expect_title "$plain"
shot saved
xdotool key ctrl+q
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the editor did not quit"
app=""

"$build/cli/vantrel-cli" print "$doc" >"$out/after.txt"
grep -qx $'  e2eKey\tString\te2e value' "$out/after.txt" || fail "the saved file lacks the new key and value"
grep -vx $'  e2eKey\tString\te2e value' "$out/after.txt" | sed '1s/([0-9]* items)//' >"$out/after-rest.txt"
sed '1s/([0-9]* items)//' "$out/before.txt" >"$out/before-rest.txt"
diff "$out/before-rest.txt" "$out/after-rest.txt" >/dev/null || fail "the rest of the document changed"
echo "e2e session: passed ($step screenshots in $out)"
