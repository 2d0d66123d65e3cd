#!/usr/bin/env bash
# Usage (inside tools/sandbox): previews.sh HOST_EXE MODULE FOLDER
# The preview filter of the Windows module under wine: the host applies it,
# renders two frames of 640 x 360 and checks that every frame passed
# through bit for bit; the module encodes the first and the last frame with
# its own TurboJPEG and uploads each in three calls through its own libcurl,
# the bytes to files.slack.com without the token; Send Test Message says
# that previews can be posted. The last preview goes out after the render
# has completed: unloading the module lets it finish before the test
# message, which never waits for the render's requests.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
host=$1 module=$2 folder=$3
state=${PINGWELL_STANDIN_DIR:?run me through tools/sandbox}

stage_run "$host" "$module" "$folder"
printf 'xoxb-file-123\r\nRender Bot\r\n#renders\r\n' >"$folder/Settings/slacktoken.txt"

cat >"$folder/session.txt" <<SCRIPT
scene "C:\\Scenes\\shot one.lws"
create a
filter add
render 1 2 size=640x360
unload
load
create a
filter add
options a cancel test
filter remove
destroy a
SCRIPT

run_host "$folder" "$folder/session.txt"
cat "$folder/stderr"
[[ $host_status == 0 ]] || fail "pingwell-host exited with $host_status"
expect_file "standard output" <(tr -d '\r' <"$folder/stdout" | sed 's/^unloaded in [0-9.]* s$/unloaded/') \
  $'unloaded\nmessage: info Test message sent to #renders: Previews: can be posted\n'

# The first frame's message goes out first (only its reply tells the
# channel's ID); then each preview's three calls, the render-completed
# message between them; then the test message and its check.
python3 - "$state/requests.jsonl" <<'PY' || fail "the previews did not arrive as they should"
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
paths = [r["path"].split("/upload/")[0] if r["path"].startswith("/upload/") else r["path"]
         for r in rows]
expected = ["/api/chat.postMessage", "/api/files.getUploadURLExternal", "",
            "/api/files.completeUploadExternal", "/api/chat.postMessage",
            "/api/files.getUploadURLExternal", "", "/api/files.completeUploadExternal",
            "/api/chat.postMessage", "/api/files.getUploadURLExternal"]
assert paths == expected, paths
for n in (2, 6):
    upload = rows[n]
    assert upload["length_ok"] and not upload["token_seen"], upload
    names = dict(rows[n - 1]["text_params"])
    assert names["filename"] == "shot one_%04d.jpg" % (1 if n == 2 else 2), names
    done = dict(rows[n + 1]["text_params"])
    assert done["channel_id"] == rows[0]["channel_id"], done
    assert rows[n + 1].get("error", "") == "", rows[n + 1]
    jpeg = open("%s/uploads/%s.jpg" % (sys.argv[1].rsplit("/", 1)[0], upload["file_id"]), "rb").read()
    assert jpeg[:2] == b"\xff\xd8" and len(jpeg) == upload["upload_bytes"], len(jpeg)
print("previews: both uploaded, %d requests" % len(rows))
PY
echo "PASS"
