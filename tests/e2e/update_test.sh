#!/usr/bin/env bash
# End to end: the update check against a local HTTPS server. "&Check for update" shows the
# "Update available" dialog, "Skip version" stores the version, and the automatic check of
# the next start fetches the same version and stays silent.
# Usage: update_test.sh PATH_TO_PAVO_BUILT_FOR_A_TEST_SERVER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
e2e_init "${1:?usage: update_test.sh PATH_TO_PAVO}" update
e2e_need Xvfb xdpyinfo xwininfo xprop xdotool python3 openssl
x_start -screen 0 1280x800x24
wm_start openbox

# The local servers end when their input closes, which is when this script ends. Pavo asks
# the HTTPS server, whose certificate only the test authority (PAVO_TEST_CA_FILE) vouches for.
server_start() {
  mkfifo "$E2E_WORK/server.in"
  mkdir "$E2E_WORK/certificates"
  python3 "$here/../support/update_server.py" "$E2E_WORK/certificates" \
    <"$E2E_WORK/server.in" >"$E2E_WORK/ports.json" 2>"$E2E_WORK/server.log" &
  E2E_PIDS+=($!)
  exec 7>"$E2E_WORK/server.in"
  wait_for 20 test -s "$E2E_WORK/ports.json" || { e2e_log "the test server did not start"; exit 1; }
  read -r SERVER_PORT https PAVO_TEST_CA_FILE < <(python3 -c 'import json,sys; d = json.load(open(sys.argv[1])); print(d["http"], d["https"], d["ca"])' "$E2E_WORK/ports.json")
  export PAVO_TEST_SERVER="https://127.0.0.1:$https" PAVO_TEST_CA_FILE
}

requests_seen() { python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1]).read().decode())' "http://127.0.0.1:$SERVER_PORT/count/pavo/update"; }
asked_more_than() { [ "$(requests_seen)" -gt "$1" ]; }

stored_text() { sed -n "s/^\"$1\"=\"\(.*\)\"$/\1/p" "$(settings_file)" | tail -n 1; }
ignore_is() { [ "$(stored_text ignoreVersion)" = "$1" ]; }
next_check_set() { [ "$(settings_number nextUpdateCheck)" -gt 0 ] 2>/dev/null; }

check_skip_then_silent() {
  settings_write
  local now next before
  pavo_start
  settle
  # Help > Check for update, by its mnemonics, typed into the focused window.
  press alt+h && sleep 0.3 && xdotool key --delay 60 c
  wait_for 15 dialog_shown "Update available" || fail "\"&Check for update\" showed no \"Update available\" dialog"
  # The modal dialog takes the focus itself, on Open website; Tab moves to Skip version.
  wait_for 5 active_is "$DIALOG_WIN" || fail "the update dialog did not take the focus"
  xdotool key --delay 100 Tab space
  wait_for 10 dialog_gone "Update available" || fail "Skip version did not close the dialog"
  wait_for 10 ignore_is 1.3.0 || fail "Skip version stored ignoreVersion '$(stored_text ignoreVersion)', expected 1.3.0"
  now=$(date +%s) next=$(settings_number nextUpdateCheck)
  [ "$next" -gt $((now + 600000)) ] && [ "$next" -le $((now + 604800)) ] || miss "after the answer the next check is at $next, expected a week after $now"
  pavo_quit

  # The next start is due for its automatic check and finds the skipped version.
  sed -i -e 's/^"checkForUpdate"=hex:00/"checkForUpdate"=hex:01/' \
    -e 's/^"nextUpdateCheck"=dword:.*/"nextUpdateCheck"=dword:00000000/' "$(settings_file)"
  before=$(requests_seen)
  pavo_start
  wait_for 15 asked_more_than "$before" || fail "the automatic check at start did not ask the server"
  wait_for 10 next_check_set || fail "the automatic check did not move the next check"
  now=$(date +%s) next=$(settings_number nextUpdateCheck)
  [ "$next" -gt $((now + 86400 - 70)) ] && [ "$next" -le $((now + 86400)) ] || miss "the automatic check set the next check to $next, expected a day after $now"
  # The check is over once it has decided; a dialog would be up within this time.
  sleep 2
  dialog_gone "Update available" || fail "the automatic check showed the dialog for the skipped version"
  pavo_quit
}

server_start
check skip_then_silent check_skip_then_silent
e2e_finish
