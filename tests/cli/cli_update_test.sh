#!/usr/bin/env bash
# padwright-cli against the simulated controller: detect, update, detect on one
# state file show the way from "update available" to "no update required".
set -euo pipefail
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
state=$dir/controller.state
fail() { echo "FAIL: $*" >&2; exit 1; }

before=$("$cli" --simulate --sim-state "$state" detect)
[ "$(head -n1 <<<"$before")" = "  WIRELESS Controller - Current firmware is v2.14 - an update is available" ] ||
  fail "first detect: $before"
grep -qx 'display_state=2' <<<"$before" || fail "display_state before: $before"
grep -qx 'version=0x0214' <<<"$before" || fail "version before"

"$cli" --simulate --sim-state "$state" update >"$dir/update.log" || fail "update exited $?"
grep -qx ' 99% Reprogramming firmware..' "$dir/update.log" || fail "no body progress"
grep -qx '100% Resetting device' "$dir/update.log" || fail "no reset text"
grep -qx '  0% Programming complete' "$dir/update.log" || fail "no completion text"
[ "$(tail -n1 "$dir/update.log")" = "  WIRELESS Controller - Current firmware is v2.15 - no update is required" ] ||
  fail "update's last line: $(tail -n1 "$dir/update.log")"

after=$("$cli" --simulate --sim-state "$state" detect)
[ "$(head -n1 <<<"$after")" = "  WIRELESS Controller - Current firmware is v2.15 - no update is required" ] ||
  fail "second detect: $after"
grep -qx 'image_present=1' <<<"$after" || fail "image_present after"

# A failing step ends the update with its text and a failure status; the next
# update from that state succeeds.
if "$cli" --simulate --sim-state "$dir/bad.state" --sim-no-image --sim-fault bad-checksum update >"$dir/bad.log"; then
  fail "update with a bad checksum succeeded"
fi
grep -qx "  0% ERROR: Checksums don't match" "$dir/bad.log" || fail "no checksum text: $(cat "$dir/bad.log")"
"$cli" --simulate --sim-state "$dir/bad.state" update >/dev/null || fail "retry failed"

# An up-to-date controller needs no update: its status line, and success.
out=$("$cli" --simulate --sim-state "$state" update 2>/dev/null) || fail "update of an up-to-date controller exited $?"
[ "$out" = "  WIRELESS Controller - Current firmware is v2.15 - no update is required" ] || fail "no-update output: $out"

# An update that cannot start says so at once and fails: here the reply to the
# header invalidation is dropped (radio 0, version 1, radio 2, probe 3-8,
# image header read 9, then radio 10 and the invalidation 11).
start=$(date +%s)
if "$cli" --simulate --sim-state "$dir/stuck.state" --sim-fault drop-reply=11 update >/dev/null 2>"$dir/stuck.err"; then
  fail "an update whose start failed succeeded"
fi
grep -qx "Controller update error - please reconnect and try again" "$dir/stuck.err" || fail "start error: $(cat "$dir/stuck.err")"
[ $(( $(date +%s) - start )) -lt 20 ] || fail "a failed start waited for the controller to come back"

# Usage errors and the plain options.
"$cli" --version | grep -q '^padwright-cli ' || fail "--version"
"$cli" --help >/dev/null || fail "--help"
set +e
"$cli" --simulate frobnicate 2>/dev/null; [ $? -eq 2 ] || fail "unknown command exit"
"$cli" --sim-variant 3 detect 2>/dev/null; [ $? -eq 2 ] || fail "bad variant exit"
"$cli" --simulate --sim-fault nonsense detect 2>/dev/null; [ $? -eq 2 ] || fail "bad fault exit"
"$cli" --sim-version 0x0215 detect 2>/dev/null; [ $? -eq 2 ] || fail "--sim-* without --simulate"
set -e
echo "cli update: ok"
