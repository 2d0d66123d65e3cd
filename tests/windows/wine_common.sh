# shellcheck shell=bash
# Sourced by the wine tests, which run inside tools/sandbox: a quiet,
# headless wine on a copy of the prefix PINGWELL_WINEPREFIX_TEMPLATE, with a
# wine server of its own started inside the sandbox's network namespace (a
# server started elsewhere would open its sockets there).
: "${PINGWELL_WINE:=wine}"
: "${PINGWELL_WINESERVER:=wineserver}"
# No debug channels (also keeps Debian's wine wrapper quiet), no desktop
# menu entries, no Gecko or Mono installers on first start.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mshtml=d;mscoree=d"
# Headless: nothing may open a window on the developer's screen.
unset DISPLAY WAYLAND_DISPLAY

# The sandbox's own certificate for slack.com, for stand-ins a test starts.
sandbox_certs=/dev/shm/pingwell-sandbox/certs

fail() {
  echo "FAIL: $*"
  exit 1
}

# The Windows name wine gives to a path of the build machine.
windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

# Lays out a fresh run folder as a user installs things: the host program
# and the module, nothing else, and a wine prefix of its own.
# Usage: stage_run HOST MODULE FOLDER
stage_run() {
  local host=$1 module=$2 folder=$3
  local file
  [[ -n ${PINGWELL_SANDBOX_LISTENER:-} ]] || fail "run me through tools/sandbox"
  [[ -f ${PINGWELL_WINEPREFIX_TEMPLATE:-}/system.reg ]] ||
    fail "no wine prefix template at PINGWELL_WINEPREFIX_TEMPLATE (make_wineprefix.sh)"
  for file in "$host" "$module"; do
    [[ -f $file ]] || fail "$file was not built"
  done
  rm -rf "$folder"
  mkdir -p "$folder/bin" "$folder/Settings"
  cp "$host" "$module" "$folder/bin/"
  cp -a "$PINGWELL_WINEPREFIX_TEMPLATE" "$folder/wineprefix"
  export WINEPREFIX=$folder/wineprefix
  # The copy is large; it goes with the wine server when the test ends.
  trap '"$PINGWELL_WINESERVER" -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
}

# The host program of FOLDER under wine, from inside FOLDER, with the
# settings folder settings_folder (FOLDER/Settings unless set) and the given
# script ("-": standard input); standard error goes to FOLDER/stderr.
# Usage: host_command FOLDER SCRIPT
host_command() {
  local folder=$1 script=$2
  [[ $script == - ]] || script=$(windows_path "$script")
  host_argv=("$PINGWELL_WINE" "$folder/bin/pingwell-host.exe"
    --settings "$(windows_path "${settings_folder:-$folder/Settings}")" "$script")
}

# Runs the host program of FOLDER on SCRIPT, bounded in time; its output
# goes to FOLDER/stdout and FOLDER/stderr. Sets host_status.
# Usage: run_host FOLDER SCRIPT
run_host() {
  local folder=$1
  host_command "$@"
  (cd "$folder" && timeout 120 "${host_argv[@]}" >"$folder/stdout" 2>"$folder/stderr")
  # shellcheck disable=SC2034 # read by the sourcing test
  host_status=$?
}

# The stand-in's record: the body of each request, one a line, and the
# connection it came on.
# Usage: posted_bodies STATE_DIR / connections_used STATE_DIR
posted_bodies() {
  [[ -f $1/requests.jsonl ]] || return 0
  python3 -c 'import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    print(r["method"], r["path"], r["body"])' "$1/requests.jsonl"
}
connections_used() {
  [[ -f $1/requests.jsonl ]] || return 0
  python3 -c 'import json, sys
print(" ".join(sorted({str(json.loads(l)["connection"]) for l in open(sys.argv[1])})))' \
    "$1/requests.jsonl"
}

# Compares a file with the expected text; shows both when they differ.
# Usage: expect_file WHAT FILE EXPECTED
expect_file() {
  local what=$1 file=$2 expected=$3
  if ! diff -u --label "expected $what" --label "$what" <(printf '%s' "$expected") "$file"; then
    fail "$what differs (above)"
  fi
}
