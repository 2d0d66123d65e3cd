#!/usr/bin/env python3
"""Local HTTPS server that answers like the Slack Web API, for tests.

It serves https://slack.com/api/... and the upload addresses it hands out on
https://files.slack.com/ inside a sandbox (tools/sandbox maps both names to
127.0.0.1 and makes the test CA the only trusted one), records every request
it receives and answers each one according to a list of modes that the test
writes beforehand.

State directory (--state DIR), shared with the tests:
  mode            modes separated by commas or newlines; request n (0-based,
                  n = lines already in requests.jsonl) gets entry min(n, last).
                  Missing or empty means "ok". Re-read for every request.
                  API calls and uploads alike count as requests.
  requests.jsonl  one JSON object per request, written before the reply:
                  "received" (seconds of time.monotonic()), "method", "path",
                  "connection", "headers", "body_hex", "params", "body",
                  "text_params", and "mode" (the mode that answered it).
                  One answered "ok" has the "ts" of its reply in it. Further
                  fields, present only where they apply:
                    "channel_id"  the channel ID of an accepted
                                  chat.postMessage (one that named a
                                  channel), chat.update or
                                  files.completeUploadExternal
                    "error"       the "error" of an {"ok":false} reply that an
                                  error=TEXT mode or the stand-in's own checks
                                  gave; for an upload, why it was refused
                                  (not_found, token_sent, length_mismatch)
                    "blocks_fault"  why the checks refused a "blocks"
                                  parameter (invalid_blocks)
                    "file_id", "upload_url"  given out by an accepted
                                  files.getUploadURLExternal; an upload has
                                  the "file_id" its address belongs to
                    "files"       an accepted files.completeUploadExternal:
                                  [{"id","title","name","bytes"}], "name" the
                                  file name of step 1, "bytes" the upload's size
                    "upload_bytes", "upload_sha256", "token_seen" (bool),
                    "length_ok" (bool)  every request to files.slack.com, an
                                  upload; its bytes are NOT in "body_hex",
                                  "body" or "params", which stay empty
  uploads/ID.jpg  the bytes of each accepted upload, by file ID.
  connections     number of TLS handshakes completed so far.
  ready           created once the server listens.

Modes: ok, slow, noblocks, upload_url=PREFIX, error=TEXT,
ratelimited[=SECONDS], okfalse, array, nook, okstring, html503, empty, cutoff,
redirect, stall, close, large. The mode decides first, for every request; only
a request whose mode is "ok" (or "slow": the same answer, SLOW_SECONDS late)
gets the answers and checks below, and only such a request changes what the
stand-in keeps in memory. "noblocks" is a workspace without blocks: a request
with a "blocks" parameter gets invalid_blocks, any other is answered as "ok". upload_url=PREFIX is "ok", except that an address
files.getUploadURLExternal gives out is PREFIX followed by its path
("upload_url=https://evil.example" gives https://evil.example/upload/v1/...),
so that a client can be handed an address off the service's hosts.

"ok" answers by method:
  chat.postMessage  as the service does for a message it posted, with the
      channel's ID and the message's own time stamp "ts":
      {"ok":true,"channel":"C...","ts":"1700000000.000001"}; the ts is
      "1700000000.000001" for request 0, one more in the last digits for each
      request after it. The ID is "C" and 10 of [0-9A-Z] derived from a hash
      of the channel's name without its "#" ("#renders" and "renders" are one
      channel; see --channel-id); a channel parameter that is an ID given out
      before stands for itself. A request with no channel parameter, or an
      empty one, gets {"ok":true,"ts":...} as before.
  blocks  a chat.postMessage or chat.update with a "blocks" parameter gets
      invalid_blocks unless it is a JSON list of 1 to 50 objects with a
      "type", of which at most 2 are "data_visualization", and these hold:
      a "section" has a text object ("mrkdwn" or "plain_text") of 1 to 3000
      characters; a "data_visualization" has a title of 1 to 50 characters and
      a chart of type bar, area or line (1 to 6 series with unique names of 1
      to 20 characters, axis_config with 1 to 20 categories, unique, of 1 to
      20 characters, x_label and y_label at most 50, each series one point
      {"label","value"} per category in the categories' order, each value a
      finite number) or pie (1 to 6 segments, labels of 1 to 20 characters,
      values above 0). Other block types pass unchecked.
  chat.update (channel, ts, text)  edits a message: channel must be an ID given
      out (else channel_not_found, a channel name too) and ts one given out
      for a message in that channel (else message_not_found), text present
      (else no_text). {"ok":true,"channel":ID,"ts":ts,"text":TEXT}.
  files.getUploadURLExternal (filename, length)  {"ok":true,"upload_url":
      "https://files.slack.com/upload/v1/OPAQUE","file_id":"F..."}; a missing
      filename or a length that is no whole number above 0 gets
      invalid_arguments.
  an upload (any request to files.slack.com, or to a path under /upload/)
      the raw bytes of the file. 200 text/plain "OK - N" (N bytes) and the
      bytes saved as uploads/ID.jpg when the address was given out, N is the
      announced length and no token came along (no "token" in the query or a
      body form, no Authorization header, no token that any request of this
      run carried anywhere in the request); 404 for an address not given out,
      400 otherwise (the file then counts as not uploaded).
  files.completeUploadExternal (channel_id, files=[{"id","title"}] as JSON,
      thread_ts)  {"ok":true,"files":[{"id":...,"title":...}]} (title defaults
      to the file name) when files is a non-empty JSON list of objects with an
      "id" and channel_id is given (else invalid_arguments), channel_id is an
      ID given out (else channel_not_found) and every file was given out and
      uploaded as announced (else file_not_found).
  chat.scheduleMessage (channel, post_at, text, thread_ts, reply_broadcast)
      keeps a message to be posted at post_at (Unix seconds):
      {"ok":true,"channel":ID,"scheduled_message_id":"Q...","post_at":N}.
      The channel is a name or an ID as for chat.postMessage (none:
      channel_not_found); post_at must be a whole number (else invalid_time),
      not in the past (time_in_past) and at most 120 days ahead
      (time_too_far); no text: no_text. At most 30 messages of a channel,
      pending or posted, are to post within any 5 minutes (300 s): one more
      in such a window is refused with restricted_too_many. The entry has
      "channel_id" and
      "scheduled_message_id". When its time comes the stand-in posts it to the
      channel (in the thread of thread_ts when given, shown in the channel too
      with reply_broadcast=true), as the app itself: no poster name.
  chat.deleteScheduledMessage (channel, scheduled_message_id)  forgets a
      pending message: channel must be the ID its scheduling answered, the
      message still pending and due more than 60 s from now; else
      invalid_scheduled_message_id (a message due within 60 s is posted).
  chat.scheduledMessages.list (channel optional)  the pending messages, as
      {"ok":true,"scheduled_messages":[{"id","channel_id","post_at",
      "date_created","text"}],"response_metadata":{"next_cursor":""}}.
  users.lookupByEmail (email)  {"ok":true,"user":{"id":ID}} for an address
      listed in the file "users" of the state directory (lines "ADDRESS ID",
      re-read for every request; the address matched without regard to case),
      else users_not_found.
  any other path  {"ok":true,"ts":...} as chat.postMessage without a channel.

Every reply to a Web API call, whatever its mode, has the header
x-oauth-scopes, the scopes of the request's token (its "token" parameter, or
its Authorization header), as the service tells them: by default
"chat:write,chat:write.customize,files:write,users:read.email". The file
"scopes" of the state directory sets them per token, re-read for every
request: lines "TOKEN SCOPE,SCOPE" (the header is then exactly the text
after the blank, which may be empty: "TOKEN" alone), or "TOKEN -" for a reply
without the header, as behind a proxy that drops it. Uploads never have it.

Scheduled messages are kept in memory and written, whenever one is made,
posted or deleted, to scheduled.json in the state directory: a list of
{"id","channel","channel_id","post_at","text","thread_ts","reply_broadcast",
"state" ("pending", "posted" or "deleted"),"after"} in the order they were
made, "after" the number of requests recorded when the message was made and,
once posted, when it was posted; a posted one has the "ts" it got
("1800000000.N", N counting the scheduled messages posted).

Channel IDs, messages and files given out are kept in memory for the whole
run of the server and nowhere else; emptying requests.jsonl does not forget
them. As the ts values start again after that, a message posted later with
the same ts in the same channel takes the place of the earlier one.

    slack_standin.py --state DIR --cert CRT --key KEY [--host H] [--port P]
    slack_standin.py --state DIR --silent
    slack_standin.py --channel-id NAME    prints the ID that NAME gets
"""

import argparse
import base64
import hashlib
import http.server
import json
import math
import os
import re
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

STALL_SECONDS = 120
# How late mode "slow" answers: a service that is up but a second away.
SLOW_SECONDS = 1.0
IDLE_SECONDS = 150
HANDSHAKE_SECONDS = 30
LARGE_PADDING = 5 * 1024 * 1024

HTML_503 = (b"<!DOCTYPE html>\n<html><head><title>503 Service Unavailable</title></head>\n"
            b"<body><h1>Service Unavailable</h1><p>Please try again later.</p></body></html>\n")
HTML_302 = (b"<!DOCTYPE html>\n<html><head><title>302 Found</title></head>\n"
            b"<body><a href=\"https://elsewhere.example/api/chat.postMessage\">Moved</a></body></html>\n")
REDIRECT_TARGET = "https://elsewhere.example/api/chat.postMessage"

FILES_HOST = "files.slack.com"
UPLOAD_PREFIX = "/upload/v1/"
ID_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
# Tokens shorter than this are not looked for in an upload's raw bytes, where
# a short one could turn up by chance.
TOKEN_SEARCH_MIN = 6
# The service schedules at most this many messages of a channel to post
# within any SCHEDULE_WINDOW seconds.
SCHEDULED_PER_WINDOW = 30
SCHEDULE_WINDOW = 300

# The bot token scopes of a token the file "scopes" does not list.
DEFAULT_SCOPES = "chat:write,chat:write.customize,files:write,users:read.email"


def decode_form(body: bytes):
    """Split an application/x-www-form-urlencoded body the way form servers do.

    Pairs are split on "&" and then on the first "="; "+" is a blank and %XX
    is the byte XX. Duplicates and order are kept; empty pieces are skipped.
    """
    pairs = []
    for piece in body.split(b"&"):
        if not piece:
            continue
        name, _, value = piece.partition(b"=")
        pairs.append((urllib.parse.unquote_to_bytes(name.replace(b"+", b" ")),
                      urllib.parse.unquote_to_bytes(value.replace(b"+", b" "))))
    return pairs


def message_ts(n: int) -> str:
    """The "ts" of the message that request n (0-based) posted."""
    return "1700000000.%06d" % (n + 1)


def parse_modes(text: str):
    modes = [m.strip() for m in re.split(r"[,\n]", text)]
    modes = [m for m in modes if m]
    return modes or ["ok"]


def derived_id(prefix: str, seed: bytes) -> str:
    """prefix and 10 characters of [0-9A-Z], from a hash of seed."""
    n = int.from_bytes(hashlib.sha256(seed).digest(), "big")
    out = []
    for _ in range(10):
        n, r = divmod(n, len(ID_ALPHABET))
        out.append(ID_ALPHABET[r])
    return prefix + "".join(out)


def bare_channel(name: bytes) -> bytes:
    return name[1:] if name.startswith(b"#") else name


def channel_id_of_name(name: bytes) -> str:
    """The ID of the channel with this name ("#" in front or not)."""
    return derived_id("C", b"channel:" + bare_channel(name))


def compact(obj) -> bytes:
    return json.dumps(obj, separators=(",", ":")).encode("utf-8")


def first(params, name: bytes):
    for n, v in params:
        if n == name:
            return v
    return None


def text_of(value: bytes) -> str:
    return value.decode("utf-8", errors="replace")


def _is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool) \
        and math.isfinite(value)


def _short_text(value, most, least=1):
    return isinstance(value, str) and least <= len(value) <= most


def _chart_fault(chart):
    """Why a data_visualization block's chart breaks the service's rules, or None."""
    if not isinstance(chart, dict):
        return "chart is no object"
    kind = chart.get("type")
    if kind == "pie":
        segments = chart.get("segments")
        if not isinstance(segments, list) or not 1 <= len(segments) <= 6:
            return "pie needs 1 to 6 segments"
        for seg in segments:
            if not isinstance(seg, dict) or not _short_text(seg.get("label"), 20) \
                    or not _is_number(seg.get("value")) or seg["value"] <= 0:
                return "bad segment"
        return None
    if kind not in ("bar", "area", "line"):
        return "unknown chart type"
    axis = chart.get("axis_config")
    if not isinstance(axis, dict):
        return "no axis_config"
    categories = axis.get("categories")
    if not isinstance(categories, list) or not 1 <= len(categories) <= 20 \
            or not all(_short_text(c, 20) for c in categories) \
            or len(set(categories)) != len(categories):
        return "bad categories"
    for name in ("x_label", "y_label"):
        if name in axis and not _short_text(axis[name], 50, 0):
            return "bad " + name
    series = chart.get("series")
    if not isinstance(series, list) or not 1 <= len(series) <= 6:
        return "needs 1 to 6 series"
    names = [one.get("name") if isinstance(one, dict) else None for one in series]
    if not all(_short_text(n, 20) for n in names) or len(set(names)) != len(names):
        return "bad series names"
    for one in series:
        data = one.get("data")
        if not isinstance(data, list) or len(data) != len(categories):
            return "a point for every category"
        for point, category in zip(data, categories):
            if not isinstance(point, dict) or point.get("label") != category \
                    or not _is_number(point.get("value")):
                return "bad point"
    return None


def blocks_fault(raw: bytes):
    """Why a "blocks" parameter breaks the service's rules, or None."""
    try:
        blocks = json.loads(raw.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return "no JSON"
    if not isinstance(blocks, list) or not 1 <= len(blocks) <= 50:
        return "1 to 50 blocks"
    charts = 0
    for block in blocks:
        if not isinstance(block, dict) or not isinstance(block.get("type"), str):
            return "a block without a type"
        if block["type"] == "section":
            text = block.get("text")
            if not isinstance(text, dict) or text.get("type") not in ("mrkdwn", "plain_text") \
                    or not _short_text(text.get("text"), 3000):
                return "bad section"
        elif block["type"] == "data_visualization":
            charts += 1
            if not _short_text(block.get("title"), 50):
                return "bad title"
            fault = _chart_fault(block.get("chart"))
            if fault:
                return fault
    if charts > 2:
        return "more than 2 charts"
    return None


class Reply:
    """What to send: status, body, content type, extra headers."""

    def __init__(self, status, body: bytes, content_type="application/json; charset=utf-8",
                 headers=()):
        self.status = status
        self.body = body
        self.content_type = content_type
        self.headers = headers


def api_error(entry, error):
    entry["error"] = error
    return Reply(200, compact({"ok": False, "error": error}))


class Request:
    """One request as the handler read it."""

    def __init__(self, method, path, host, headers, body, raw_head: bytes):
        self.method = method
        self.path = path
        self.host = host
        self.headers = headers  # [(name, value)]
        self.body = body
        self.raw_head = raw_head  # request line and header lines, as received
        self.route, _, query = path.partition("?")
        self.query = query.encode("latin-1", errors="replace")

    def is_upload(self):
        return self.host == FILES_HOST or self.route.startswith("/upload/")

    def api_method(self):
        return self.route.rsplit("/", 1)[-1]


class Service:
    """What the stand-in gave out during this run of the server, and the
    answers of mode "ok" that depend on it. Used under State.lock only."""

    def __init__(self, state_dir):
        self.dir = state_dir
        self.channels = {}  # ID -> bare name (bytes)
        self.messages = set()  # (channel ID, ts)
        self.files = {}  # file ID -> dict
        self.upload_paths = {}  # path of an upload address -> file ID
        self.tokens = set()  # every token value a request carried (bytes)
        self.files_given = 0
        self.scheduled = []  # dicts, as written to scheduled.json
        self.scheduled_posted = 0

    # -- facts about a request, whatever its mode --------------------------

    def note_tokens(self, request: "Request", params):
        for name, value in params:
            if name == b"token" and value:
                self.tokens.add(value)
        for name, value in request.headers:
            if name.lower() == "authorization":
                word = value.split(None, 1)
                if len(word) == 2 and word[1]:
                    self.tokens.add(word[1].encode("latin-1", errors="replace"))

    def scopes_of(self, request: "Request", params):
        """The x-oauth-scopes header for the request's token, or None for
        none. Reads the request and the state directory alone: needs no lock."""
        if request.is_upload():
            return None
        token = first(params, b"token")
        if token is None:
            for name, value in request.headers:
                word = value.split(None, 1) if name.lower() == "authorization" else []
                if len(word) == 2:
                    token = word[1].encode("latin-1", errors="replace")
        try:
            with open(os.path.join(self.dir, "scopes"), "rb") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            lines = []
        for line in lines:
            name, _, scopes = line.strip().partition(b" ")
            if name and name == token:
                scopes = scopes.strip()
                return None if scopes == b"-" else scopes.decode("latin-1")
        return DEFAULT_SCOPES

    def describe_upload(self, request: "Request", entry):
        body = request.body
        entry["upload_bytes"] = len(body)
        entry["upload_sha256"] = hashlib.sha256(body).hexdigest()
        file_id = self.upload_paths.get(request.route) if request.host == FILES_HOST else None
        if file_id:
            entry["file_id"] = file_id
        entry["token_seen"] = self._token_seen(request, file_id)
        entry["length_ok"] = bool(file_id) and len(body) == self.files[file_id]["length"]
        return file_id

    def _token_seen(self, request: "Request", file_id):
        if any(name.lower() == "authorization" for name, _ in request.headers):
            return True
        if any(name == b"token" for name, _ in decode_form(request.query)):
            return True
        body = request.body
        if any(name == b"token" for name, _ in decode_form(body)) or b'name="token"' in body:
            return True
        tokens = set(self.tokens)
        if file_id and self.files[file_id]["token"]:
            tokens.add(self.files[file_id]["token"])
        for token in tokens:
            if len(token) < TOKEN_SEARCH_MIN:
                continue
            for form in {token, urllib.parse.quote_from_bytes(token, safe="").encode("ascii")}:
                if form in request.raw_head or form in body:
                    return True
        return False

    # -- the answers of mode "ok" ------------------------------------------

    def answer_ok(self, request: "Request", params, n, entry, upload_prefix=None) -> Reply:
        if request.is_upload():
            return self._upload(request, entry)
        method = request.api_method()
        blocks = first(params, b"blocks") if method in ("chat.postMessage", "chat.update") \
            else None
        fault = blocks_fault(blocks) if blocks is not None else None
        if fault:
            entry["blocks_fault"] = fault
            return api_error(entry, "invalid_blocks")
        if method == "chat.update":
            return self._chat_update(params, entry)
        if method == "files.getUploadURLExternal":
            return self._get_upload_url(params, entry, upload_prefix)
        if method == "files.completeUploadExternal":
            return self._complete_upload(params, entry)
        if method == "chat.scheduleMessage":
            return self._schedule(params, n, entry)
        if method == "chat.deleteScheduledMessage":
            return self._delete_scheduled(params, n, entry)
        if method == "chat.scheduledMessages.list":
            return self._list_scheduled(params)
        if method == "users.lookupByEmail":
            return self._lookup_by_email(params, entry)
        ts = message_ts(n)
        entry["ts"] = ts
        channel = first(params, b"channel") if method == "chat.postMessage" else None
        if not channel or not bare_channel(channel):
            return Reply(200, compact({"ok": True, "ts": ts}))
        channel_id = self._channel_for_post(channel)
        # Another message that had this ts before requests.jsonl was emptied
        # is replaced by this one.
        self.messages.add((channel_id, ts))
        entry["channel_id"] = channel_id
        return Reply(200, compact({"ok": True, "channel": channel_id, "ts": ts}))

    def _channel_for_post(self, channel: bytes) -> str:
        as_text = channel.decode("ascii", errors="replace")
        if as_text in self.channels:
            return as_text
        channel_id = channel_id_of_name(channel)
        self.channels.setdefault(channel_id, bare_channel(channel))
        return channel_id

    def _given_channel(self, value):
        """The channel ID of a parameter that is one given out, else None."""
        if value is None:
            return None
        as_text = value.decode("ascii", errors="replace")
        return as_text if as_text in self.channels else None

    def _chat_update(self, params, entry) -> Reply:
        channel_id = self._given_channel(first(params, b"channel"))
        if channel_id is None:
            return api_error(entry, "channel_not_found")
        ts = text_of(first(params, b"ts") or b"")
        if (channel_id, ts) not in self.messages:
            return api_error(entry, "message_not_found")
        text = first(params, b"text")
        if text is None:
            return api_error(entry, "no_text")
        entry["ts"] = ts
        entry["channel_id"] = channel_id
        return Reply(200, compact({"ok": True, "channel": channel_id, "ts": ts,
                                   "text": text_of(text)}))

    # -- scheduled messages and users -------------------------------------

    def _write_scheduled(self):
        path = os.path.join(self.dir, "scheduled.json")
        tmp = os.path.join(self.dir, ".scheduled.json.tmp")
        with open(tmp, "wb") as f:
            f.write(json.dumps(self.scheduled, ensure_ascii=True, indent=1).encode("ascii"))
        os.replace(tmp, path)

    def _schedule(self, params, n, entry) -> Reply:
        channel = first(params, b"channel")
        if not channel or not bare_channel(channel):
            return api_error(entry, "channel_not_found")
        post_at = first(params, b"post_at")
        if post_at is None or not re.fullmatch(rb"[0-9]{1,12}", post_at):
            return api_error(entry, "invalid_time")
        now = time.time()
        if int(post_at) <= now:
            return api_error(entry, "time_in_past")
        if int(post_at) > now + 120 * 86400:
            return api_error(entry, "time_too_far")
        text = first(params, b"text")
        if text is None:
            return api_error(entry, "no_text")
        channel_id = self._channel_for_post(channel)
        if self._window_full(channel_id, int(post_at)):
            return api_error(entry, "restricted_too_many")
        message_id = derived_id("Q", b"scheduled:%d" % len(self.scheduled))
        thread = first(params, b"thread_ts")
        self.scheduled.append({
            "id": message_id, "channel": text_of(channel), "channel_id": channel_id,
            "post_at": int(post_at), "date_created": int(now), "text": text_of(text),
            "thread_ts": text_of(thread) if thread else None,
            "reply_broadcast": first(params, b"reply_broadcast") == b"true",
            "state": "pending", "after": n,
        })
        self._write_scheduled()
        entry["channel_id"] = channel_id
        entry["scheduled_message_id"] = message_id
        return Reply(200, compact({"ok": True, "channel": channel_id,
                                   "scheduled_message_id": message_id,
                                   "post_at": int(post_at)}))

    def _window_full(self, channel_id, post_at):
        """Whether a message of channel_id posted at post_at would make more
        than SCHEDULED_PER_WINDOW to post within some SCHEDULE_WINDOW seconds."""
        near = sorted(m["post_at"] for m in self.scheduled
                      if m["channel_id"] == channel_id and m["state"] != "deleted"
                      and abs(m["post_at"] - post_at) < SCHEDULE_WINDOW)
        # The fullest window holding post_at starts at one of its messages.
        for start in [t for t in near if t <= post_at] + [post_at]:
            inside = sum(1 for t in near if start <= t < start + SCHEDULE_WINDOW)
            if inside + 1 > SCHEDULED_PER_WINDOW:
                return True
        return False

    def _delete_scheduled(self, params, n, entry) -> Reply:
        channel = text_of(first(params, b"channel") or b"")
        message_id = text_of(first(params, b"scheduled_message_id") or b"")
        for message in self.scheduled:
            if (message["id"] == message_id and message["channel_id"] == channel
                    and message["state"] == "pending"
                    and message["post_at"] - time.time() > 60):
                message["state"] = "deleted"
                message["deleted_after"] = n
                self._write_scheduled()
                return Reply(200, b'{"ok":true}')
        return api_error(entry, "invalid_scheduled_message_id")

    def _list_scheduled(self, params) -> Reply:
        channel = first(params, b"channel")
        listed = [{"id": m["id"], "channel_id": m["channel_id"], "post_at": m["post_at"],
                   "date_created": m["date_created"], "text": m["text"]}
                  for m in self.scheduled if m["state"] == "pending"
                  and (not channel or m["channel_id"] == text_of(channel))]
        return Reply(200, compact({"ok": True, "scheduled_messages": listed,
                                   "response_metadata": {"next_cursor": ""}}))

    def _lookup_by_email(self, params, entry) -> Reply:
        email = text_of(first(params, b"email") or b"").strip().lower()
        try:
            with open(os.path.join(self.dir, "users"), encoding="utf-8") as f:
                for line in f:
                    words = line.split()
                    if len(words) == 2 and email and words[0].lower() == email:
                        return Reply(200, compact({"ok": True, "user": {"id": words[1]}}))
        except FileNotFoundError:
            pass
        return api_error(entry, "users_not_found")

    def post_due(self, recorded):
        """Posts every pending scheduled message whose time has come."""
        now = time.time()
        changed = False
        for message in self.scheduled:
            if message["state"] == "pending" and message["post_at"] <= now:
                self.scheduled_posted += 1
                message["state"] = "posted"
                message["ts"] = "1800000000.%06d" % self.scheduled_posted
                message["after"] = recorded
                self.messages.add((message["channel_id"], message["ts"]))
                changed = True
        if changed:
            self._write_scheduled()

    def _get_upload_url(self, params, entry, prefix=None) -> Reply:
        filename = first(params, b"filename")
        length = first(params, b"length")
        if not filename or length is None or not re.fullmatch(rb"[0-9]{1,12}", length) \
                or int(length) < 1:
            return api_error(entry, "invalid_arguments")
        self.files_given += 1
        seed = b"file:%d" % self.files_given
        file_id = derived_id("F", seed)
        opaque = base64.urlsafe_b64encode(hashlib.sha256(b"upload:" + seed).digest()[:30])
        path = UPLOAD_PREFIX + opaque.decode("ascii")
        self.upload_paths[path] = file_id
        self.files[file_id] = {
            "name": text_of(filename),
            "length": int(length),
            "token": first(params, b"token") or b"",
            "uploaded": False,
            "bytes": 0,
        }
        url = (prefix or "https://" + FILES_HOST) + path
        entry["file_id"] = file_id
        entry["upload_url"] = url
        return Reply(200, compact({"ok": True, "upload_url": url, "file_id": file_id}))

    def _upload(self, request: "Request", entry) -> Reply:
        file_id = entry.get("file_id")
        if not file_id:
            entry["error"] = "not_found"
            return Reply(404, b"Not Found\n", "text/plain; charset=utf-8")
        record = self.files[file_id]
        saved = os.path.join(self.dir, "uploads", file_id + ".jpg")
        if entry["token_seen"] or not entry["length_ok"]:
            entry["error"] = "token_sent" if entry["token_seen"] else "length_mismatch"
            record["uploaded"] = False
            try:
                os.unlink(saved)
            except FileNotFoundError:
                pass
            return Reply(400, ("Bad Request - %s\n" % entry["error"]).encode("ascii"),
                         "text/plain; charset=utf-8")
        os.makedirs(os.path.dirname(saved), exist_ok=True)
        tmp = saved + ".tmp"
        with open(tmp, "wb") as f:
            f.write(request.body)
        os.replace(tmp, saved)
        record["uploaded"] = True
        record["bytes"] = len(request.body)
        return Reply(200, b"OK - %d" % len(request.body), "text/plain; charset=utf-8")

    def _complete_upload(self, params, entry) -> Reply:
        try:
            files = json.loads(text_of(first(params, b"files") or b""))
        except ValueError:
            files = None
        if not isinstance(files, list) or not files or not all(
                isinstance(f, dict) and isinstance(f.get("id"), str)
                and isinstance(f.get("title", ""), str) for f in files):
            return api_error(entry, "invalid_arguments")
        given = first(params, b"channel_id")
        if not given:
            return api_error(entry, "invalid_arguments")
        channel_id = self._given_channel(given)
        if channel_id is None:
            return api_error(entry, "channel_not_found")
        if not all(f["id"] in self.files and self.files[f["id"]]["uploaded"] for f in files):
            return api_error(entry, "file_not_found")
        answered = []
        recorded = []
        for f in files:
            known = self.files[f["id"]]
            title = f.get("title") or known["name"]
            answered.append({"id": f["id"], "title": title})
            recorded.append({"id": f["id"], "title": title, "name": known["name"],
                             "bytes": known["bytes"]})
        entry["channel_id"] = channel_id
        entry["files"] = recorded
        return Reply(200, compact({"ok": True, "files": answered}))


class State:
    """The state directory, guarded by one lock so records stay whole."""

    def __init__(self, directory):
        self.dir = directory
        self.lock = threading.Lock()
        self.handshakes = 0
        self._counted = None  # (inode, bytes counted, lines counted)
        self.requests_path = os.path.join(directory, "requests.jsonl")
        self.mode_path = os.path.join(directory, "mode")
        self.service = Service(directory)

    def _path(self, name):
        return os.path.join(self.dir, name)

    def _write_atomically(self, name, data: bytes):
        tmp = self._path("." + name + ".tmp")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, self._path(name))

    def count_connection(self):
        with self.lock:
            self.handshakes += 1
            self._write_atomically("connections", b"%d\n" % self.handshakes)
            return self.handshakes

    def _read_modes(self):
        try:
            with open(self.mode_path, encoding="utf-8", errors="replace") as f:
                return parse_modes(f.read())
        except FileNotFoundError:
            return ["ok"]

    def _recorded_count(self):
        """Lines in requests.jsonl. Only this server appends to it and a test
        can only empty it, so a file that has not shrunk needs only its new
        tail counted."""
        try:
            st = os.stat(self.requests_path)
        except FileNotFoundError:
            self._counted = None
            return 0
        known = self._counted
        if known is None or known[0] != st.st_ino or st.st_size < known[1]:
            known = (st.st_ino, 0, 0)
        ino, offset, count = known
        with open(self.requests_path, "rb") as f:
            f.seek(offset)
            while True:
                chunk = f.read(1 << 20)
                if not chunk:
                    break
                count += chunk.count(b"\n")
                offset += len(chunk)
        self._counted = (ino, offset, count)
        return count

    def post_due(self):
        with self.lock:
            if self.service.scheduled:
                self.service.post_due(self._recorded_count())

    def record(self, request: Request, entry: dict, params):
        """Decides the mode of the request, answers it if the mode is "ok"
        (filling in the entry's fields of that answer), appends the entry and
        returns (mode, the Reply of mode "ok" or None)."""
        with self.lock:
            n = self._recorded_count()
            modes = self._read_modes()
            mode = modes[min(n, len(modes) - 1)]
            entry["mode"] = mode
            service = self.service
            if request.is_upload():
                service.describe_upload(request, entry)
            else:
                service.note_tokens(request, params)
            reply = None
            if mode == "noblocks" and first(params, b"blocks") is not None:
                reply = api_error(entry, "invalid_blocks")
            elif mode in ("ok", "slow", "noblocks") or mode.startswith("upload_url="):
                prefix = mode[len("upload_url="):] if mode.startswith("upload_url=") else None
                reply = service.answer_ok(request, params, n, entry, prefix)
            elif mode.startswith("error="):
                entry["error"] = mode[len("error="):]
            line = (json.dumps(entry, ensure_ascii=True) + "\n").encode("ascii")
            fd = os.open(self.requests_path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
            try:
                view = memoryview(line)
                while view:
                    written = os.write(fd, view)
                    view = view[written:]
            finally:
                os.close(fd)
            return mode, reply


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; without this the body waits for
    # the client's delayed acknowledgement (about 40 ms a reply).
    disable_nagle_algorithm = True
    timeout = IDLE_SECONDS

    def __init__(self, request, client_address, server, connection_id=0):
        self.connection_id = connection_id
        super().__init__(request, client_address, server)

    def version_string(self):
        return "slack-standin"

    def log_message(self, fmt, *args):
        sys.stderr.write("[standin] conn %d: %s\n" % (self.connection_id, fmt % args))
        sys.stderr.flush()

    def _read_body(self) -> bytes:
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            body = bytearray()
            while True:
                size_line = self.rfile.readline(65537)
                size = int(size_line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(65537) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(body)
                body += self.rfile.read(size)
                self.rfile.readline(65537)
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def _request(self, body) -> Request:
        headers = list(self.headers.items())
        host = self.headers.get("Host", "").strip().lower()
        if host.startswith("["):
            host = host.partition("]")[0] + "]"
        else:
            host = host.partition(":")[0]
        head = "\r\n".join([self.requestline] + ["%s: %s" % h for h in headers])
        return Request(self.command, self.path, host, headers, body,
                       head.encode("latin-1", errors="replace"))

    def _handle(self):
        try:
            body = self._read_body()
        except (ValueError, OSError) as e:
            self.log_message("could not read body: %s", e)
            self.close_connection = True
            return
        request = self._request(body)
        if request.is_upload():
            # The bytes of a file: neither a form nor kept in the record.
            params = []
            recorded_body = b""
        else:
            params = decode_form(body)
            recorded_body = body
        entry = {
            "received": time.monotonic(),
            "method": self.command,
            "path": self.path,
            "connection": self.connection_id,
            "headers": [[k, v] for k, v in request.headers],
            "body_hex": recorded_body.hex(),
            "params": [[n.hex(), v.hex()] for n, v in params],
            "body": recorded_body.decode("utf-8", errors="replace"),
            "text_params": [[n.decode("utf-8", errors="replace"),
                             v.decode("utf-8", errors="replace")] for n, v in params],
        }
        mode, reply = self.server.state.record(request, entry, params)
        self.scopes = self.server.state.service.scopes_of(request, params)
        self.log_message("%s %s -> %s%s", self.command, self.path, mode,
                         " (%s)" % entry["error"] if mode in ("ok", "noblocks") and "error" in entry else "")
        if reply is not None:
            if mode == "slow":
                self.server.stopping.wait(SLOW_SECONDS)
            self._send(reply.status, reply.body, reply.content_type, reply.headers)
        else:
            self._answer(mode)

    def _send(self, status, body: bytes, content_type="application/json; charset=utf-8",
              extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self._send_scopes()
        for name, value in extra_headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def _send_scopes(self):
        if getattr(self, "scopes", None) is not None:
            self.send_header("x-oauth-scopes", self.scopes)

    def _answer(self, mode):
        """The reply of every mode but "ok" (see Service.answer_ok)."""
        if mode.startswith("error="):
            text = mode[len("error="):]
            self._send(200, json.dumps({"ok": False, "error": text},
                                       separators=(",", ":")).encode("utf-8"))
        elif mode == "ratelimited" or mode.startswith("ratelimited="):
            # The service's rate limit: 429, and the seconds to wait when the
            # mode names them.
            seconds = mode[len("ratelimited="):] if "=" in mode else None
            self._send(429, b'{"ok":false,"error":"ratelimited"}',
                       extra_headers=[("Retry-After", seconds)] if seconds else ())
        elif mode == "okfalse":
            self._send(200, b'{"ok":false}')
        elif mode == "array":
            self._send(200, b"[1,2]")
        elif mode == "nook":
            self._send(200, b'{"channel":"C1"}')
        elif mode == "okstring":
            self._send(200, b'{"ok":"true"}')
        elif mode == "html503":
            self._send(503, HTML_503, "text/html; charset=utf-8")
        elif mode == "empty":
            self._send(200, b"")
        elif mode == "cutoff":
            self._send(200, b'{"ok":tr')
        elif mode == "redirect":
            self._send(302, HTML_302, "text/html; charset=utf-8",
                       [("Location", REDIRECT_TARGET)])
        elif mode == "large":
            self._send(200, self.server.large_body())
        elif mode == "stall":
            self.close_connection = True
            self.server.stopping.wait(STALL_SECONDS)
        elif mode == "close":
            self.close_connection = True
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self._send_scopes()
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b'{"ok":true')
            self.wfile.flush()
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        else:
            self.log_message("unknown mode %r", mode)
            self._send(500, ("stand-in: unknown mode %r\n" % mode).encode("utf-8"),
                       "text/plain; charset=utf-8")

    do_POST = do_GET = do_PUT = do_DELETE = do_PATCH = do_HEAD = do_OPTIONS = _handle


class StandInServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True

    def __init__(self, address, state, context):
        self.state = state
        self.context = context
        self.stopping = threading.Event()
        self._large = None
        self._large_lock = threading.Lock()
        super().__init__(address, Handler)

    def large_body(self):
        with self._large_lock:
            if self._large is None:
                self._large = b'{"ok":true,"padding":"' + b"x" * LARGE_PADDING + b'"}'
            return self._large

    def finish_request(self, request, client_address):
        # The handshake runs here, on the connection's own thread, so a client
        # that never completes it cannot hold up the accept loop.
        request.settimeout(HANDSHAKE_SECONDS)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("[standin] handshake failed: %s\n" % e)
            sys.stderr.flush()
            return
        try:
            connection_id = self.state.count_connection()
            Handler(tls, client_address, self, connection_id)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("[standin] connection %s ended: %s\n" % (client_address, e))
            sys.stderr.flush()
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        sys.stderr.write("[standin] error on %s: %s\n" % (client_address, sys.exc_info()[1]))
        sys.stderr.flush()



def serve_silently(host, port, state_dir):
    """Accepts TCP connections and never says a word."""
    listener = socket.create_server((host, port), backlog=64, reuse_port=False)
    held = []
    open(os.path.join(state_dir, "ready"), "w").close()
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state", help="state directory")
    parser.add_argument("--cert", help="server certificate (PEM)")
    parser.add_argument("--key", help="server private key (PEM)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--silent", action="store_true",
                        help="accept TCP connections and never answer")
    parser.add_argument("--channel-id", metavar="NAME",
                        help="print the channel ID that chat.postMessage gives the "
                             "channel NAME (with or without its '#') and exit")
    args = parser.parse_args()
    if args.channel_id is not None:
        print(channel_id_of_name(os.fsencode(args.channel_id)))
        return 0
    if not args.state:
        parser.error("--state is required")

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    os.makedirs(args.state, exist_ok=True)

    if args.silent:
        serve_silently(args.host, args.port, args.state)
        return 0

    if not args.cert or not args.key:
        parser.error("--cert and --key are required")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    state = State(args.state)
    server = StandInServer((args.host, args.port), state, context)
    def post_scheduled():
        while not server.stopping.wait(0.25):
            state.post_due()

    threading.Thread(target=post_scheduled, daemon=True).start()
    open(os.path.join(args.state, "ready"), "w").close()
    sys.stderr.write("[standin] listening on %s:%d\n" % (args.host, args.port))
    sys.stderr.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.stopping.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
