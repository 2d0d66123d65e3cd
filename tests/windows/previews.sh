#!/usr/bin/env bash
# Usage (inside tools/sandbox): previews.sh HOST_EXE MODULE FOLDER
# The preview filter of the Windows module under wine: the host applies it,
# renders two frames of 640 x 360 and checks that every frame passed
# through bit for bit; the module encodes the first and the last frame with
# its own TurboJPEG and uploads each in three calls through its own libcurl,
# the bytes to files.slack.com without the token; Send Test Message says
# that previews can be posted. Then one frame with the host's output color
# space set to sRGB and one in a host without color spaces: the frame's
# grey card, a flat linear 0.2, is previewed as sRGB saves it (124) and as
# before (51), as it was in the linear render. The last previews go out
# after their render has completed: unloading the module lets them finish
# before the test message, which never waits for the render's requests.
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
colorspace srgb
render 3 3 size=640x360
colorspace none
render 4 4 size=640x360
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
# message between them; the one-frame renders post their preview once,
# before their render-completed message; then the test message, alone: its
# reply's x-oauth-scopes header names files:write, so no upload address is
# asked for to tell of previews. Each JPEG is decoded with the build machine's TurboJPEG.
python3 - "$state/requests.jsonl" <<'PY' || fail "the previews did not arrive as they should"
import ctypes, json, sys
rows = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]

def card(jpeg):
    """The mean of red, green and blue over the middle of the grey card."""
    tj = ctypes.CDLL("libturbojpeg.so.0")
    tj.tjInitDecompress.restype = ctypes.c_void_p
    handle = ctypes.c_void_p(tj.tjInitDecompress())
    w, h, sub, space = (ctypes.c_int() for _ in range(4))
    size = ctypes.c_ulong(len(jpeg))
    assert tj.tjDecompressHeader3(handle, jpeg, size, ctypes.byref(w), ctypes.byref(h),
                                  ctypes.byref(sub), ctypes.byref(space)) == 0
    pixels = ctypes.create_string_buffer(w.value * h.value * 3)
    assert tj.tjDecompress2(handle, jpeg, size, pixels, w, 0, h, 0, 0) == 0
    tj.tjDestroy(handle)
    cx, cy = w.value * 12 // 100, h.value * 83 // 100
    values = [pixels.raw[((cy + dy) * w.value + cx + dx) * 3 + c]
              for dy in range(-8, 8) for dx in range(-8, 8) for c in range(3)]
    return sum(values) / len(values)

paths = [r["path"].split("/upload/")[0] if r["path"].startswith("/upload/") else r["path"]
         for r in rows]
upload = ["/api/files.getUploadURLExternal", "", "/api/files.completeUploadExternal"]
expected = (["/api/chat.postMessage"] + upload + ["/api/chat.postMessage"] + upload +
            upload + ["/api/chat.postMessage"] + upload + ["/api/chat.postMessage"] +
            ["/api/chat.postMessage"])
assert paths == expected, paths
# Frames 1 and 2 linear, 3 in sRGB, 4 in a host without color spaces.
for n, frame, grey in ((2, 1, 51), (6, 2, 51), (9, 3, 124), (13, 4, 51)):
    upload = rows[n]
    assert upload["length_ok"] and not upload["token_seen"], upload
    names = dict(rows[n - 1]["text_params"])
    assert names["filename"] == "shot one_%04d.jpg" % frame, names
    done = dict(rows[n + 1]["text_params"])
    assert done["channel_id"] == rows[0]["channel_id"], done
    assert rows[n + 1].get("error", "") == "", rows[n + 1]
    jpeg = open("%s/uploads/%s.jpg" % (sys.argv[1].rsplit("/", 1)[0], upload["file_id"]), "rb").read()
    assert jpeg[:2] == b"\xff\xd8" and len(jpeg) == upload["upload_bytes"], len(jpeg)
    assert abs(card(jpeg) - grey) <= 1.5, (frame, card(jpeg), grey)
print("previews: all four uploaded, the grey card 51, 51, 124, 51; %d requests" % len(rows))
PY
echo "PASS"
