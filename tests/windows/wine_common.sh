# shellcheck shell=bash
# Sourced by the wine tests: a quiet, headless wine on the throwaway prefix
# named by WINEPREFIX.
: "${WINEPREFIX:?WINEPREFIX must name the throwaway wine prefix}"
: "${PINGWELL_WINE:=wine}"
: "${PINGWELL_WINESERVER:=wineserver}"
export WINEPREFIX
# No debug channels (also keeps Debian's wine wrapper quiet), no desktop
# menu entries, no Gecko or Mono installers on first start.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mshtml=d;mscoree=d"
# Headless: nothing may open a window on the developer's screen.
unset DISPLAY WAYLAND_DISPLAY

# The Windows name wine gives to a path of the build machine.
windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

fail() {
  echo "FAIL: $*"
  exit 1
}

# Lays out a fresh run folder as a user would install things: the host
# program, the module and the test libcurl-x64.dll side by side (Windows
# looks for a DLL's dependencies beside the program).
# Usage: stage_run HOST MODULE CURL_DLL FOLDER
stage_run() {
  local host=$1 module=$2 curl=$3 folder=$4
  local file
  for file in "$host" "$module" "$curl"; do
    [[ -f $file ]] || fail "$file was not built"
  done
  rm -rf "$folder"
  mkdir -p "$folder/bin" "$folder/Settings"
  cp "$host" "$module" "$curl" "$folder/bin/"
}

# Runs the host program of FOLDER under wine on SCRIPT with the settings
# folder FOLDER/Settings, from inside FOLDER; its output goes to
# FOLDER/stdout and FOLDER/stderr and the test DLL's record to
# FOLDER/requests.log. Sets host_status.
# Usage: run_host FOLDER SCRIPT
run_host() {
  local folder=$1 script=$2
  (
    cd "$folder" || exit 1
    PINGWELL_FAKE_CURL_LOG=$(windows_path "$folder/requests.log") \
      timeout 120 "$PINGWELL_WINE" "$folder/bin/pingwell-host.exe" \
      --settings "$(windows_path "$folder/Settings")" \
      "$(windows_path "$script")" >"$folder/stdout" 2>"$folder/stderr"
  )
  # shellcheck disable=SC2034 # read by the sourcing test
  host_status=$?
}

# Compares a file with the expected text; shows both when they differ.
# Usage: expect_file WHAT FILE EXPECTED
expect_file() {
  local what=$1 file=$2 expected=$3
  if ! diff -u --label "expected $what" --label "$what" <(printf '%s' "$expected") "$file"; then
    fail "$what differs (above)"
  fi
}
