#!/usr/bin/env bash
# padwright-cli's configuration commands against one simulated controller.
set -euo pipefail
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
run() { "$cli" --simulate --sim-state "$dir/c.state" --sim-version 0x0215 --sim-buttons 2 "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(run assign --button 1 "sniper mode")" = "Sniper Mode" ] || fail "assign sniper"
[ "$(run show --button 1)" = "Sniper Mode" ] || fail "show sniper"
[ "$(run show --button 2)" = "No Function" ] || fail "the other button changed"

remap="Button B,Button A,Button X,Button Y,Dpad Up,Dpad Down,Dpad Left,Dpad Right,Left Bumper,Left Trigger,Left Analog Button,Right Bumper,Right Trigger,Right Analog Button,Right Analog Stick,Left Analog Stick"
run assign --button 2 "Button Remapping" --remap "$remap" >/dev/null || fail "assign remap"
shown=$(run show --button 2)
[ "$(head -n1 <<<"$shown")" = "Button Remapping" ] || fail "show remap: $shown"
grep -qx "A = Button B" <<<"$shown" || fail "remap A"
grep -qx "left stick = Right Analog Stick" <<<"$shown" || fail "remap left stick"
[ "$(run show --button 1)" = "Sniper Mode" ] || fail "button 1 kept"

printf 'button xx\n{\ntime=2\nxx\nnothing\n}\n' >"$dir/fire.txt"
run assign --button 1 "Preset Button Macros" --macro rb=fire.txt --macro a="$dir/fire.txt" --toggle \
  >/dev/null 2>"$dir/err" && fail "a missing macro file was taken"
grep -qx "Error downloading Macro file" "$dir/err" || fail "download error: $(cat "$dir/err")"
[ "$(run show --button 1)" = "Sniper Mode" ] || fail "a failed macro assign changed the slot"
run assign --button 1 "Preset Button Macros" --macro rb="$dir/fire.txt" --macro a="$dir/fire.txt" --toggle >/dev/null ||
  fail "assign macros"
shown=$(run show --button 1)
[ "$(head -n1 <<<"$shown")" = "Preset Button Macros" ] || fail "show macros: $shown"
grep -qx "mode = toggle" <<<"$shown" || fail "macro mode"
grep -qx "macro on rb" <<<"$shown" || fail "macro on rb"
grep -qx "macro on a" <<<"$shown" || fail "macro on a"

# Compiling on its own: the worked example's image, 16 bytes a line.
printf '// fire twice\nbutton rb\n{\ntime=2\nrb\nnothing\nloop_start\nrb\nnothing\nloop_end\n}\n' >"$dir/ex.txt"
hex=$("$cli" compile-macros "$dir/ex.txt")
[ "$(wc -l <<<"$hex")" -eq 127 ] || fail "hex lines: $(wc -l <<<"$hex")"
[ "$(sed -n 1p <<<"$hex")" = "0000: 04 01 00 00 00 00 00 00 00 00 00 00 16 00 00 00" ] || fail "hex line 1: $(sed -n 1p <<<"$hex")"
[ "$(sed -n 2p <<<"$hex")" = "0010: 00 00 00 00 00 00 04 08 40 80 00 02 02 00 02 02" ] || fail "hex line 2: $(sed -n 2p <<<"$hex")"
[ "$(tail -n1 <<<"$hex")" = "07e0: 00 00 00 00 00 00 00 00 00 00 00 00" ] || fail "hex last line"
"$cli" compile-macros "$dir/ex.txt" --out "$dir/ex.bin"
[ "$(stat -c %s "$dir/ex.bin")" -eq 2028 ] || fail "raw image size"
printf 'button a\n{\nlx=8\n}\n' >"$dir/bad.txt"
set +e
err=$("$cli" compile-macros "$dir/bad.txt" 2>&1 >/dev/null); rc=$?
set -e
[ $rc -eq 1 ] || fail "compile error exit $rc"
[ "$err" = "ERROR on line 3 : lx must lie in the range -8 to +7!" ] || fail "compile error text: $err"

# Sensitivity: written, read back, reset.
run sensitivity --left-stick 150 --right-trigger 60 >/dev/null || fail "sensitivity write"
out=$(run sensitivity)
grep -qx "Left Stick 150%" <<<"$out" || fail "left stick: $out"
grep -qx "Right Trigger 60%" <<<"$out" || fail "right trigger: $out"
run sensitivity --reset | grep -qx "Left Stick 100%" || fail "reset"
set +e
run sensitivity --left-stick 30 2>/dev/null; [ $? -eq 2 ] || fail "out-of-range sensitivity"
run assign --button 3 "Sniper Mode" 2>/dev/null; [ $? -eq 2 ] || fail "button 3"
run assign --button 1 "Nonsense" 2>/dev/null; [ $? -eq 2 ] || fail "unknown function"
set -e

# A failed read at connection is not taken for empty settings (reply 30 lies
# in the feature-button sector's read).
set +e
run --sim-fault corrupt-reply=30 show --button 1 >/dev/null 2>&1; [ $? -eq 1 ] || fail "show after a failed read"
run --sim-fault corrupt-reply=30 assign --button 2 "Low Recoil" >/dev/null 2>&1; [ $? -eq 1 ] || fail "assign after a failed read"
"$cli" compile-macros "$dir" >/dev/null 2>&1; [ $? -eq 1 ] || fail "compile-macros of a directory"
args=()
for i in 0 1 2 3 4 5 6 7 8 9 10; do args+=(--macro "a=$dir/fire.txt"); done
run assign --button 1 "Preset Button Macros" "${args[@]}" 2>/dev/null; [ $? -eq 2 ] || fail "eleven --macro pairs"
run --sim-fault fail-erase sensitivity --left-stick 120 >/dev/null 2>&1; [ $? -eq 1 ] || fail "sensitivity write failure"
set -e
[ "$(run show --button 2 | head -n1)" = "Button Remapping" ] || fail "button 2 survived the failed runs"

# A slot file round trip onto the other button.
run save-slot --button 1 "$dir/slot.bin" 2>/dev/null || fail "save-slot"
[ "$(stat -c %s "$dir/slot.bin")" -eq 2048 ] || fail "slot file size"
run load-slot --button 2 "$dir/slot.bin" 2>/dev/null || fail "load-slot"
[ "$(run show --button 2 | head -n1)" = "Preset Button Macros" ] || fail "loaded slot"
set +e
run load-slot --button 2 "$dir" 2>/dev/null; [ $? -eq 1 ] || fail "loading a directory"
set -e
echo "cli config: ok"
