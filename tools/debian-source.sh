# What tools/windows-curl and tools/windows-jpeg share: each builds a Windows
# library from a Debian source package kept in the project's cache. Sourced,
# not run. The caller sets, before calling anything here:
#
#   tool            its name, for messages (windows-curl)
#   source_package  Debian's source package (curl)
#   version         its version, that of the installed -dev package
#   cache           the cache folder of this library
#   fetched         where the source package goes ($cache/source/<version>)
#   needed          the Debian packages the build needs (an array)
#   fetch_hint      what to say when the source cannot be fetched
#
# and defines say and die. Nothing here writes outside $cache, except
# debian_source_prepare, which installs packages and adds the deb-src entry.

# Sets `missing` to the packages of `needed` that are not installed.
debian_source_missing_tools() {
  missing=()
  local package
  for package in "${needed[@]}"; do
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ]] ||
      missing+=("$package")
  done
}

# Succeeds (and says why) when the build lacks what only
# debian_source_prepare provides: the tools, or the source package.
debian_source_unprepared() {
  debian_source_missing_tools
  if ((${#missing[@]})); then
    say "not installed: ${missing[*]}"
    return 0
  fi
  if [[ ! -f $fetched/done ]]; then
    say "Debian's $source_package $version source package is not in $cache/source"
    return 0
  fi
  return 1
}

# Status 3, which configuring the Windows build tells apart.
debian_source_offline_stop() {
  say "run tools/$tool once (it installs the tools and fetches the source with apt-get)"
  exit 3
}

# Waits for any other build of the same cache: one at a time, the package
# installs included. The lock is held until the process ends.
debian_source_lock() {
  mkdir -p "$cache"
  exec {debian_source_lock_fd}>"$cache/.lock"
  if ! flock -n "$debian_source_lock_fd"; then
    say "waiting for another build of the same cache"
    flock "$debian_source_lock_fd"
  fi
}

# Installs the missing tools, adds the deb-src entry for Debian
# (/etc/apt/sources.list.d/pingwell-deb-src.sources) and fetches the source
# package into $fetched; needs root or sudo and the network.
debian_source_prepare() {
  local as_root=()
  if [[ $(id -u) != 0 ]]; then
    command -v sudo >/dev/null || die "need root (or sudo) to install packages and add the source entry"
    as_root=(sudo)
  fi
  apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q "$@" >&2; }

  # Debian's source entries: the binary entries of debian.sources (or of the
  # one-line sources.list) again, as deb-src.
  local src_list=/etc/apt/sources.list.d/pingwell-deb-src.sources
  local src_list_old=/etc/apt/sources.list.d/pingwell-deb-src.list
  local need_update=no entries
  if [[ ! -f $src_list && ! -f $src_list_old ]]; then
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
      entries=$(awk '
        BEGIN { RS = ""; ORS = "\n\n" }
        /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
          out = ""
          n = split($0, lines, "\n")
          for (i = 1; i <= n; i++) {
            if (lines[i] ~ /^#/) continue
            if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
            out = out lines[i] "\n"
          }
          printf "%s\n", out
        }' /etc/apt/sources.list.d/debian.sources)
      [[ -n $entries ]] || die "no deb entry in /etc/apt/sources.list.d/debian.sources"
      say "adding $src_list"
      printf '# Added by the project'\''s tools/%s: Debian'\''s source packages.\n\n%s' \
        "$tool" "$entries" | "${as_root[@]}" tee "$src_list" >/dev/null
    elif [[ -f /etc/apt/sources.list ]] && grep -q '^deb ' /etc/apt/sources.list; then
      say "adding $src_list_old"
      sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list |
        "${as_root[@]}" tee "$src_list_old" >/dev/null
    else
      die "no Debian package entry found to derive the deb-src entry from"
    fi
    need_update=yes
  fi
  debian_source_missing_tools
  if [[ $need_update == yes || ${#missing[@]} -gt 0 ]]; then
    apt_get update
  fi
  if ((${#missing[@]})); then
    say "installing ${missing[*]}"
    apt_get install -y --no-install-recommends "${missing[@]}"
  fi

  [[ -f $fetched/done ]] && return 0
  say "fetching Debian's $source_package $version source package"
  rm -rf "$fetched"
  mkdir -p "$fetched"
  fetch_source() {
    (cd "$fetched" && apt-get source -q --download-only --only-source \
      "$source_package=$version" >&2)
  }
  # Lists of source packages older than the entry (or cleaned away) are
  # fetched anew once.
  fetch_source || { [[ $need_update == no ]] && apt_get update && fetch_source; } ||
    die "apt-get source $source_package=$version failed ($fetch_hint)"
  compgen -G "$fetched/*.dsc" >/dev/null || die "apt-get source fetched no .dsc"
  echo "$version" >"$fetched/done"
}

# Unpacks the fetched source package into DIR with Debian's patches applied,
# as apt-get source does (dpkg-source checks the tarballs against the .dsc's
# checksums), and prints the tree's folder. LOG keeps dpkg-source's output.
debian_source_unpack() {
  local dir=$1 log=$2 dsc tree
  dsc=$(compgen -G "$fetched/*.dsc" | head -n 1)
  (cd "$dir" && dpkg-source -x "$dsc" >"$log" 2>&1) || {
    tail -n 30 "$log" >&2
    die "dpkg-source -x $dsc failed"
  }
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$source_package-*" | head -n 1)
  [[ -n $tree ]] || die "no $source_package tree was unpacked"
  echo "$tree"
}
