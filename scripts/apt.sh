# Sourced by setup.sh: installing Debian packages through a package mirror
# that can be briefly inconsistent ("File has unexpected size ... Mirror sync
# in progress?") for one suite's index, sometimes for many minutes.
#
# apt_install PACKAGE...   updates the indexes and installs what is missing.
# A failed update is retried with back-off; when one suite's index stays
# broken, that suite is left out of this run's sources (for the update and
# the install alike, so that packages of one version across architectures
# still resolve) and the output says so. If apt still cannot install what is
# needed, the failure names the cause.

apt_retry_delays=(10 30)   # seconds before the second and third try

# Prints "URI SUITE" for every index the last update could not fetch.
apt_failed_suites() {
  sed -n 's|^E: Failed to fetch \([^ ]*\)/dists/\([^/ ]*\)/.*|\1 \2|p' "$1" | sort -u
}

# Writes into folder $1 the system's sources less the suites listed in file
# $2 ("URI SUITE" lines): one-line .list entries and deb822 .sources stanzas.
apt_sources_without() {
  local out=$1 failed=$2 f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v failed="$failed" '
      BEGIN { while ((getline l < failed) > 0) drop[l] = 1 }
      /^[ \t]*deb(-src)?[ \t]/ {
        n = split($0, w, /[ \t]+/); i = 2
        if (w[i] ~ /^\[/) while (i <= n && w[i] !~ /\]$/) i++
        if (i <= n && w[i] ~ /^\[/) i++
        uri = w[i]; sub(/\/$/, "", uri)
        if ((uri " " w[i + 1]) in drop) next
      }
      { print }' "$f" >"$out/$(basename "$f")"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v failed="$failed" '
      BEGIN { RS = ""; ORS = "\n\n"; while ((getline l < failed) > 0) drop[l] = 1 }
      {
        uri = ""; if (match($0, /(^|\n)URIs:[ \t]*[^ \t\n]+/)) {
          uri = substr($0, RSTART, RLENGTH); sub(/^\n?URIs:[ \t]*/, "", uri); sub(/\/$/, "", uri)
        }
        n = split($0, lines, "\n"); out = ""; kept = -1
        for (j = 1; j <= n; j++) {
          line = lines[j]
          if (line ~ /^Suites:/) {
            m = split(substr(line, 8), s, /[ \t]+/); line = "Suites:"; kept = 0
            for (k = 1; k <= m; k++) if (s[k] != "" && !((uri " " s[k]) in drop)) { line = line " " s[k]; kept++ }
          }
          out = out line "\n"
        }
        if (kept != 0) printf "%s\n", out
      }' "$f" >"$out/$(basename "$f")"
  done
}

apt_install() {
  local log tries=0 delay reduced="" opts=()
  log=$(mktemp)
  while :; do
    if as_root apt-get update -q 2>&1 | tee "$log"; then
      # apt-get exits 100 on a broken index, but a pipeline needs the check
      grep -q '^E: ' "$log" || break
    fi
    if [ $tries -ge ${#apt_retry_delays[@]} ]; then break; fi
    delay=${apt_retry_delays[$tries]}
    tries=$((tries + 1))
    echo "== apt-get update failed; trying again in ${delay} s (try $((tries + 1)) of $((${#apt_retry_delays[@]} + 1)))"
    sleep "$delay"
  done
  if grep -q '^E: ' "$log"; then
    local failed
    failed=$(mktemp)
    apt_failed_suites "$log" >"$failed"
    if [ ! -s "$failed" ]; then
      echo "setup.sh: apt-get update failed and no single suite's index is to blame:" >&2
      grep '^E: ' "$log" >&2
      rm -f "$log" "$failed"
      return 1
    fi
    reduced=$(mktemp -d)
    apt_sources_without "$reduced" "$failed"
    echo "== apt: these suites' indexes stay broken on the mirror and are left out of this run:"
    sed 's/^/     /' "$failed"
    opts=(-o "Dir::Etc::SourceParts=$reduced" -o Dir::Etc::SourceList=/dev/null)
    if ! as_root apt-get "${opts[@]}" update -q 2>&1 | tee "$log" || grep -q '^E: ' "$log"; then
      echo "setup.sh: apt-get update fails even without the broken suites:" >&2
      grep '^E: ' "$log" >&2 || true
      rm -rf "$log" "$failed" "$reduced"
      return 1
    fi
    rm -f "$failed"
  fi
  rm -f "$log"
  local status=0
  if [ $# -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive as_root apt-get "${opts[@]}" install -y -q --no-install-recommends "$@" || status=$?
  fi
  [ -z "$reduced" ] || rm -rf "$reduced"
  if [ $status -ne 0 ]; then
    echo "setup.sh: apt-get could not install the packages the project needs (exit status $status)${reduced:+, with the broken suites left out}: $*" >&2
    return $status
  fi
}
