#!/usr/bin/env bash
# Usage (inside tools/sandbox): system_proxy.sh HOST_EXE MODULE CONNECT_PROXY_PY FOLDER
# The proxy set in Windows' Internet Options, under wine: with a proxy set
# for https (the "https=" form, beside an "http=" entry that leads nowhere)
# the module's post goes through it to the Slack stand-in; a bypass list
# that names slack.com sends it direct; a proxy environment variable wins
# over the setting. Each case is a new host process, since the setting is
# read when the client is made.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
host=$1 module=$2 connect_proxy_py=$3 folder=$4
state=${PINGWELL_STANDIN_DIR:?run me through tools/sandbox}

stage_run "$host" "$module" "$folder"
printf 'xoxb-proxy-7\nProxy Bot\nC1\n' >"$folder/Settings/slacktoken.txt"
printf 'create a\nscene shot.lws\nevent a 274\n' >"$folder/post.txt"

# Two proxies: the one set in Internet Options and one for the environment.
proxy_pids=()
start_proxy() { # port
  local port=$1
  rm -f "$folder/proxy-$port.ready"
  python3 -I -S "$connect_proxy_py" --port "$port" --log "$folder/proxy-$port.log" \
    --ready "$folder/proxy-$port.ready" </dev/null >/dev/null 2>"$folder/proxy-$port.err" &
  proxy_pids+=($!)
  for _ in $(seq 500); do
    [[ -e $folder/proxy-$port.ready ]] && return 0
    sleep 0.02
  done
  fail "the proxy on port $port did not start: $(cat "$folder/proxy-$port.err")"
}
start_proxy 3128
start_proxy 3129
trap '"$PINGWELL_WINESERVER" -k 2>/dev/null; kill "${proxy_pids[@]}" 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
# One wine server for the whole test, kept until the end: the registry
# edits and the host runs come one after the other, and a client that
# starts while the last one's server is shutting down is cut off.
"$PINGWELL_WINESERVER" -p || fail "could not start the wine server"

# What Internet Options writes for a manual proxy server: the values of
# Internet Settings and the binary record of the default connection, which
# WinHTTP reads (a header of magic 0x46, a counter and the flags, 3: direct
# and proxy; then the proxy list, the bypass list and the automatic
# configuration address, each as its length and its bytes).
settings_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
reg_add() { # key /v name /t type /d data
  "$PINGWELL_WINE" reg add "$@" /f >/dev/null
}
set_user_proxy() { # proxy-list bypass-list
  local record
  record=$(python3 -c 'import struct, sys
fields = [s.encode() for s in sys.argv[1:3]] + [b""]
data = struct.pack("<III", 0x46, 2, 3)
for f in fields:
    data += struct.pack("<I", len(f)) + f
print((data + bytes(32)).hex())' "$1" "$2")
  reg_add "$settings_key" /v ProxyEnable /t REG_DWORD /d 1 &&
    reg_add "$settings_key" /v ProxyServer /t REG_SZ /d "$1" &&
    reg_add "$settings_key" /v ProxyOverride /t REG_SZ /d "$2" &&
    reg_add "$settings_key\\Connections" /v DefaultConnectionSettings /t REG_BINARY /d "$record" ||
    fail "could not set the proxy in the registry"
}

# One render-completed message from a new host process; it must reach the
# stand-in with nothing on standard error, and each proxy's log must show
# the CONNECT requests given.
# Usage: expect_post CASE CONNECTS-THROUGH-3128 CONNECTS-THROUGH-3129
expect_post() {
  local name=$1 through_set=$2 through_environment=$3
  : >"$state/requests.jsonl"
  : >"$folder/proxy-3128.log"
  : >"$folder/proxy-3129.log"
  run_host "$folder" "$folder/post.txt"
  echo "-- $name"
  cat "$folder/stderr"
  [[ $host_status == 0 ]] || fail "$name: pingwell-host exited with $host_status"
  expect_file "$name: standard error" <(tr -d '\r' <"$folder/stderr") ""
  expect_file "$name: requests the stand-in received" <(posted_bodies "$state") \
    "POST /api/chat.postMessage as_user=false&attachments=null&channel=C1&icon_emoji=&parse=&text=shot.lws%0ARENDER%20COMPLETED&username=Proxy%20Bot&token=xoxb-proxy-7"$'\n'
  expect_file "$name: requests through the proxy of Internet Options" \
    "$folder/proxy-3128.log" "$through_set"
  expect_file "$name: requests through the proxy of the environment" \
    "$folder/proxy-3129.log" "$through_environment"
}

connect=$'CONNECT slack.com:443\n'

# No proxy set: direct.
expect_post "no proxy set" "" ""

set_user_proxy "http=127.0.0.1:9;https=127.0.0.1:3128;ftp=127.0.0.1:9" "<local>;*.studio.example"
expect_post "proxy for https in Internet Options" "$connect" ""

set_user_proxy "127.0.0.1:3128" "<local>;*.studio.example"
expect_post "one proxy for every protocol" "$connect" ""

set_user_proxy "127.0.0.1:3128" "*.studio.example;SLACK.com"
expect_post "slack.com in the bypass list" "" ""

set_user_proxy "127.0.0.1:3128" "<local>"
https_proxy=http://127.0.0.1:3129 expect_post "https_proxy set" "" "$connect"
echo "PASS"
