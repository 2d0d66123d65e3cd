#!/usr/bin/env bash
# Usage (inside tools/sandbox): host_session.sh HOST_EXE MODULE FOLDER
# A user's session with the Windows module under wine: settings written by
# Windows tools (CR LF lines) in a folder whose name is not ASCII (the host
# names it in UTF-8; one character is in no Western code page), the options
# panel with Get Token, Send Test Message (shown in the host's message box)
# and OK, a scene block saved and loaded, and a render of two frames whose
# posts go through the module's own libcurl, over TLS, to the Slack
# stand-in; then the host program unloads the module (its posting thread
# stopped, libcurl released, nothing left to the DLL's detach), loads it
# again, renders once more with a new instance, and exits.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
host=$1 module=$2 folder=$3
state=${PINGWELL_STANDIN_DIR:?run me through tools/sandbox}

stage_run "$host" "$module" "$folder"
settings_folder="$folder/Users/José 山田/Settings"
mkdir -p "$settings_folder"
printf 'xoxb-file-123\r\nFile Bot\r\nC0FFEE\r\n' >"$settings_folder/slacktoken.txt"
export PINGWELL_OPENED_URLS=$folder/opened-urls.txt
block=$(windows_path "$folder/a.block")

cat >"$folder/session.txt" <<SCRIPT
scene "C:\\Scenes\\shot one.lws"
create a
describe a
options a ok name="Render Bot" start=1 done=1 gettoken test
save a $block
create b
load b $block
destroy a
render 1 2
destroy b
unload
load
create c
render 3 3
SCRIPT

started=$EPOCHREALTIME
run_host "$folder" "$folder/session.txt"
echo "host ran in $(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $started }") s under wine"
cat "$folder/stderr"
# 124: still running after 120 s, for instance hung in the module's unload.
[[ $host_status == 0 ]] || fail "pingwell-host exited with $host_status"
expect_file "standard output" <(tr -d '\r' <"$folder/stdout" | sed 's/^unloaded in [0-9.]* s$/unloaded/') \
  $'voro2 pingwell\nmessage: info Test message sent to C0FFEE\nunloaded\n'
expect_file "standard error" <(tr -d '\r' <"$folder/stderr") \
  $'[pingwell] Test message sent to C0FFEE\n'

# OK rewrote the settings file in text mode: CR LF after every line, the
# CR LF of the old file not carried into the values.
expect_file "settings file" "$settings_folder/slacktoken.txt" \
  $'xoxb-file-123\r\nRender Bot\r\nC0FFEE\r\n'
expect_file "settings files" <(find "$folder" -path "$folder/wineprefix" -prune -o \
  -name '*slacktoken*' -print) "$settings_folder/slacktoken.txt
"

# The saved block: 0.01 as a float, then render completed, frame started,
# frame rendered, render times, frame messages in a thread, progress in one
# message and the stall alert's minutes.
expect_file "scene block" <(tr -d '\r' <"$folder/a.block") $'0.00999999978\n1\n1\n1\n0\n0\n0\n0\n'

# The test message went out with the texts the panel showed; b was loaded
# from a's block and read the rewritten settings, so it posts twice a frame
# and once at the end, as Render Bot to C0FFEE; c, made after the module
# was loaded again, posts its render's completion.
scene='C%3A%5CScenes%5Cshot%20one.lws'
body() {
  echo "POST /api/chat.postMessage as_user=false&attachments=null&channel=C0FFEE&icon_emoji=&parse=&text=$1&username=Render%20Bot&token=xoxb-file-123"
}
expect_file "requests the stand-in received" <(posted_bodies "$state") "$(body "voro2%20pingwell%20test%20message%0A$scene")
$(body "$scene%0AFrame%20Started%3A%201")
$(body "$scene%0AFrame%20Rendered%3A%201")
$(body "$scene%0AFrame%20Started%3A%202")
$(body "$scene%0AFrame%20Rendered%3A%202")
$(body "$scene%0ARENDER%20COMPLETED")
$(body "$scene%0ARENDER%20COMPLETED")
"
# The test message's client, the posting thread's, and the posting thread's
# of the module loaded again: each keeps its connection.
expect_file "TLS connections" "$state/connections" $'3\n'

# Get Token went to wine's shell, which hands web addresses to the browser
# (the test prefix's browser only notes them); the shell returns at once and
# the browser starts on its own, so give it a moment.
for _ in $(seq 50); do
  [[ -s $PINGWELL_OPENED_URLS ]] && break
  sleep 0.2
done
# The address is the service's form for a new app with the app manifest
# percent-encoded in it: decoded, the manifest's JSON as in the source tree.
python3 - "$PINGWELL_OPENED_URLS" "$here/../../plugin/options_panel/slack-app-manifest.json" <<'PY' ||
import json, sys, urllib.parse
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
assert len(lines) == 1, lines
form = "https://api.slack.com/apps?new_app=1&manifest_json="
assert lines[0].startswith(form) and len(lines[0]) < 2000, lines[0]
opened = json.loads(urllib.parse.unquote(lines[0][len(form):], errors="strict"))
manifest = json.load(open(sys.argv[2], encoding="utf-8"))
assert opened == manifest, opened
assert opened["oauth_config"]["scopes"]["bot"] == [
    "chat:write", "chat:write.customize", "files:write", "users:read.email"], opened
PY
  fail "Get Token opened $(cat "$PINGWELL_OPENED_URLS")"
echo "PASS"
