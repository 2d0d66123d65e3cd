#!/usr/bin/env bash
# Usage: failed_posts.sh HOST_EXE MODULE CURL_DLL FOLDER
# Posts that fail under wine: each failure becomes one line on standard
# error, the host program carries on (an exception crossing the module's
# edge would end it), and the next post still goes out.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine_common.sh"
host=$1 module=$2 curl=$3 folder=$4

stage_run "$host" "$module" "$curl" "$folder"
printf 'xoxb-9\nBot\nC1\n' >"$folder/Settings/slacktoken.txt"
printf '0.01\n1\n1\n1\n' >"$folder/all-on.block"
cat >"$folder/render.txt" <<SCRIPT
scene shot.lws
create a
load a $(windows_path "$folder/all-on.block")
render 7 7
SCRIPT

posted() {
  local text
  for text in 'Frame%20Started%3A%207' 'Frame%20Rendered%3A%207' 'RENDER%20COMPLETED'; do
    echo "POST https://slack.com/api/chat.postMessage as_user=false&attachments=null&channel=C1&icon_emoji=&parse=&text=shot.lws%0A$text&username=Bot&token=xoxb-9"
  done
}
thrice() { printf '%s\n%s\n%s\n' "$1" "$1" "$1"; }

# case | environment of the test DLL | line on standard error for each post
cases=(
  "transfer fails|PINGWELL_FAKE_CURL_RESULT=35|[pingwell] error curl_easy_perform() failed SSL connect error"
  "reply names its error|PINGWELL_FAKE_CURL_REPLY={\"ok\":false,\"error\":\"channel_not_found\"}|[pingwell] warning! chat.postMessage checkResponse() failed \"channel_not_found\""
  "reply not ok, no error|PINGWELL_FAKE_CURL_REPLY={\"ok\":false}|[pingwell] error checkResponse() unknown error."
  "reply not JSON|PINGWELL_FAKE_CURL_REPLY=<html>Bad Gateway</html>|[pingwell] error [json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - invalid literal; last read: '<'"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name setting line <<<"$entry"
  echo "-- $name"
  rm -f "$folder/requests.log"
  export "${setting%%=*}=${setting#*=}"
  run_host "$folder" "$folder/render.txt"
  unset "${setting%%=*}"
  [[ $host_status == 0 ]] || { cat "$folder/stderr"; fail "$name: pingwell-host exited with $host_status"; }
  # Standard error is in text mode on Windows: lines end in CR LF.
  expect_file "$name: standard error" <(tr -d '\r' <"$folder/stderr") "$(thrice "$line")"$'\n'
  expect_file "$name: requests" "$folder/requests.log" "global_init 3
$(posted)
cleanup
"
done
echo "PASS"
