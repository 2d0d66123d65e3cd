#!/usr/bin/env bash
# Usage (inside tools/sandbox --no-standin): failed_posts.sh HOST_EXE MODULE
#        SLACK_STANDIN_PY FOLDER
# Posts that fail under wine, through the module's own libcurl: nobody
# listening, error replies, a server that never answers. Each failure is
# one line on standard error, the render goes on (an exception crossing the
# module's edge would end the host program), and the next post after the
# fault is mended arrives. One host process throughout, driven through its
# standard input, which exits promptly once that is closed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
host=$1 module=$2 standin_py=$3 folder=$4
[[ ${PINGWELL_SANDBOX_LISTENER:-} == none ]] || fail "run me through tools/sandbox --no-standin"

stage_run "$host" "$module" "$folder"
state=$folder/standin
mkdir -p "$state"
printf 'xoxb-9\nBot\nC1\n' >"$folder/Settings/slacktoken.txt"
printf '0.01\n1\n1\n1\n' >"$folder/all-on.block"

host_command "$folder" -
coproc HOST { cd "$folder" && exec timeout 200 "${host_argv[@]}" 2>"$folder/stderr"; }
host_pid=$HOST_PID

# Sends the commands and waits until the host has run them: "describe"
# answers with the module's name.
host_do() {
  local line
  printf '%s\n' "$@" "describe a" >&"${HOST[1]}"
  while IFS= read -r -t 120 line <&"${HOST[0]}"; do
    [[ ${line%$'\r'} == "voro2 pingwell" ]] && return 0
  done
  fail "pingwell-host did not finish: $*; standard error: $(cat "$folder/stderr")"
}
# The lines on standard error since the last call (without the CRs of text
# mode) match the patterns, one extended regular expression a line.
# Usage: expect_errors CASE PATTERN...
seen=0
expect_errors() {
  local name=$1
  shift
  local all actual
  all=$(tr -d '\r' <"$folder/stderr")
  actual=${all:seen}
  actual=${actual#$'\n'}
  seen=${#all}
  echo "-- $name"$'\n'"$actual"
  mapfile -t lines <<<"$actual"
  [[ -z $actual ]] && lines=()
  (($# == ${#lines[@]})) || fail "$name: $# lines expected on standard error, got ${#lines[@]}"
  local i=0 pattern
  for pattern in "$@"; do
    [[ ${lines[i]} =~ ^$pattern$ ]] || fail "$name: line $((i + 1)) is not /$pattern/"
    i=$((i + 1))
  done
}
# Waits (at most 60 s) until there are N new lines on standard error: the
# posting thread writes them after the events that queued the messages.
wait_errors() { # N
  local all
  for _ in $(seq 3000); do
    all=$(tr -d '\r' <"$folder/stderr")
    all=${all:seen}
    all=${all#$'\n'}
    (($(grep -c '' <<<"$all") >= $1)) && [[ -n $all ]] && return 0
    sleep 0.02
  done
}
# Waits (at most 60 s) until the stand-in has received N requests.
wait_posted() { # N
  local n
  for _ in $(seq 3000); do
    n=$(grep -c '' "$state/requests.jsonl" 2>/dev/null)
    ((${n:-0} >= $1)) && return 0
    sleep 0.02
  done
}
reset_standin() { # modes
  printf '%s\n' "$1" >"$state/mode"
  : >"$state/requests.jsonl"
}
expect_posted() { # case frame-texts...
  local name=$1 text expected=""
  shift
  for text in "$@"; do
    expected+="POST /api/chat.postMessage as_user=false&attachments=null&channel=C1&icon_emoji=&parse=&text=shot.lws%0A$text&username=Bot&token=xoxb-9"$'\n'
  done
  expect_file "$name: requests the stand-in received" <(posted_bodies "$state") "$expected"
}

host_do "scene shot.lws" "create a" "load a $(windows_path "$folder/all-on.block")"
prefix='\[pingwell\] '
perform_failed="${prefix}error curl_easy_perform\(\) failed"

# Nothing listens on slack.com: the frame message fails, the next one is
# skipped (the service was unreachable a moment ago), the completion is
# tried all the same, and tried again 5 s later. The stand-in starts
# meanwhile: that try goes out.
printf '%s\n' "render 1 1" >&"${HOST[1]}"
wait_errors 4
expect_errors "connection refused" \
  "$perform_failed Couldn't connect to server" \
  "${prefix}skipped \"shot.lws Frame Rendered: 1\": network failure [0-9]+ s ago \(Couldn't connect to server\), next try in [0-9]+ s" \
  "$perform_failed Couldn't connect to server" \
  "${prefix}\"shot.lws RENDER COMPLETED\" is tried again in 5 s"

reset_standin ok
python3 -I -S "$standin_py" --state "$state" --cert "$sandbox_certs/server.crt" \
  --key "$sandbox_certs/server.key" </dev/null >/dev/null 2>"$folder/standin.log" &
for _ in $(seq 500); do
  [[ -e $state/ready ]] && break
  sleep 0.02
done
[[ -e $state/ready ]] || fail "the stand-in did not start: $(cat "$folder/standin.log")"
host_do
wait_posted 1
expect_errors "after the refusals"
expect_posted "after the refusals" 'RENDER%20COMPLETED'

# The service names an error, then answers with an HTML error page (status
# 503): those two posts alone fail.
reset_standin "error=channel_not_found,html503,ok"
host_do "render 2 2"
expect_errors "error replies" \
  "${prefix}warning! chat.postMessage checkResponse\(\) failed \"channel_not_found\"" \
  "${prefix}error \[json\.exception\.parse_error\.101\] parse error at line 1, column 1: .*; last read: '<'"
expect_posted "error replies" 'Frame%20Started%3A%202' 'Frame%20Rendered%3A%202' 'RENDER%20COMPLETED'

# The server takes the request and never answers: the transfer time-out
# (30 s) ends it, the next frame message is skipped, the completion (on a
# new connection) arrives.
reset_standin "stall,ok"
started=$SECONDS
host_do "render 3 3"
# The completion's event waits 15 s at most; the time-out comes later.
wait_errors 2
expect_errors "stalled server" \
  "$perform_failed Timeout was reached" \
  "${prefix}skipped \"shot.lws Frame Rendered: 3\": network failure [0-9]+ s ago \(Timeout was reached\), next try in [0-9]+ s"
wait_posted 2
expect_posted "stalled server" 'Frame%20Started%3A%203' 'RENDER%20COMPLETED'
echo "the stall cost $((SECONDS - started)) s"

# End of input: the host destroys the instance, unloads the module (whose
# client closes its TLS connection) and exits, at once and cleanly.
printf 'destroy a\n' >&"${HOST[1]}"
exec {HOST[1]}>&-
started=$EPOCHREALTIME
for _ in $(seq 150); do
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$host_pid" 2>/dev/null && fail "pingwell-host still runs 15 s after its input ended"
wait "$host_pid"
status=$?
echo "host exited $(awk "BEGIN { printf \"%.1f\", $EPOCHREALTIME - $started }") s after its input ended"
[[ $status == 0 ]] || fail "pingwell-host exited with $status"
expect_errors "exit"
echo "PASS"
