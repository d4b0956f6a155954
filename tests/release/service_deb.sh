#!/usr/bin/env bash
# The service's Debian package: lintian finds no error, it holds what it
# should, it installs (without the network: its dependencies are on the
# machine), the installed program answers with the installed configuration,
# and removal keeps the links while purging deletes them.
#   service_deb.sh [WINDOWS_ZIP]
# The package in dist/ is used when it is newer than every source; otherwise
# scripts/package-service.sh builds it, with WINDOWS_ZIP (the release tests'
# zip) when it is there. Installing needs root (or sudo without a password);
# without either only the package itself is checked and the test is skipped
# (77).
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
version=$(sed -n 's/^project(Snipora VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
deb=$root/dist/snipora-service_${version}_$(dpkg --print-architecture).deb
conf=/etc/snipora/snipora-service.conf
fail() { echo "${0##*/}: $*" >&2; exit 1; }

newer_source() {
  find "$root" \( -path "$root/build" -o -path "$root/dist" -o -path "$root/.deps" -o -path "$root/.git" \
    -o -path "$root/docs" -o -path "$root/README.md" \) -prune -o -type f -newer "$deb" -print -quit
}
if [ -f "$deb" ] && [ -z "$(newer_source)" ]; then
  echo "== the package in dist/ is newer than the sources"
else
  echo "== building the package"
  client=${1:-}
  [ -f "$client" ] || client=  # then package-service.sh makes the zip
  SNIPORA_CLIENT_ZIP=$client "$root/scripts/package-service.sh"
fi

echo "== lintian"
status=0
lintian --fail-on error "$deb" || status=$?
[ "$status" = 0 ] || fail "lintian reports errors (or failed: exit status $status)"

echo "== contents"
listing=$(dpkg-deb -c "$deb")
for path in usr/bin/snipora-service etc/snipora/snipora-service.conf usr/share/man/man1/snipora-service.1.gz \
  "usr/share/snipora/Snipora-$version-win32.zip" usr/share/doc/snipora-service/copyright; do
  grep -qE " \./$path\$" <<<"$listing" || fail "the package lacks /$path"
done
grep -qE ' \./(usr/)?lib/systemd/system/snipora-service\.service$' <<<"$listing" || fail "the package lacks the unit"
grep -qF " ./usr/share/snipora/Snipora-win32.zip -> Snipora-$version-win32.zip" <<<"$listing" ||
  fail "/usr/share/snipora/Snipora-win32.zip does not point at Snipora-$version-win32.zip"
# the program alone: neither the tests nor the build's helper programs
[ "$(grep -c ' \./usr/bin/.' <<<"$listing")" = 1 ] || fail "more than the program in /usr/bin: $(grep ' \./usr/bin/.' <<<"$listing")"
[ "$(dpkg-deb -I "$deb" conffiles)" = "$conf" ] || fail "the conffiles are not $conf alone: $(dpkg-deb -I "$deb" conffiles)"

if [ "$(id -u)" = 0 ]; then
  as_root() { "$@"; }
elif sudo -n true 2>/dev/null; then
  as_root() { sudo -n "$@"; }
else
  echo "${0##*/}: installing needs root or sudo without a password: skipped"
  exit 77
fi
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
service_pid=
made_private=
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  if dpkg-query -W -f='${db:Status-Abbrev}' snipora-service 2>/dev/null | grep -q '^.[^n]'; then
    as_root apt-get purge -y -q -o DPkg::Lock::Timeout=600 snipora-service >/dev/null 2>&1 || true
  fi
  if [ -n "$made_private" ]; then as_root rmdir /var/lib/private 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if dpkg-query -W snipora-service >/dev/null 2>&1; then
  echo "== purging the snipora-service installed before"
  as_root apt-get purge -y -q -o DPkg::Lock::Timeout=600 snipora-service
fi
echo "== apt-get install"
as_root apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "$deb"

echo "== installed files"
man -w snipora-service || fail "man finds no snipora-service(1)"
grep -qx 'database = /var/lib/snipora/links.db' "$conf" || fail "$conf does not set database to /var/lib/snipora/links.db"
grep -qx 'client-package = /usr/share/snipora/Snipora-win32.zip' "$conf" ||
  fail "$conf does not set client-package to /usr/share/snipora/Snipora-win32.zip"
# Both are made from the option table: every option --help lists is in both.
options=$(/usr/bin/snipora-service --help | sed -n 's/^  --\([a-z-]*\) .*/\1/p' | grep -vx 'help\|config' || true)
[ -n "$options" ] || fail "snipora-service --help lists no options"
page=$(zcat "$(man -w snipora-service)" | sed 's/\\-/-/g')
for option in $options; do
  grep -qE "^(# )?$option =( |$)" "$conf" || fail "$conf lacks the option $option"
  grep -qF -- "--$option" <<<"$page" || fail "the manual page lacks --$option"
done

echo "== the installed program with the installed configuration"
/usr/bin/snipora-service --config "$conf" --listen 127.0.0.1:0 --public-host s.example.org \
  --database "$work/links.db" >"$work/access.log" 2>"$work/service.err" </dev/null &
service_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*(port \([0-9]*\)).*/\1/p' "$work/service.err" | head -n1)
  [ -n "$port" ] && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/service.err" >&2; fail "the installed snipora-service did not start"; }
base=http://127.0.0.1:$port
home=$(curl -sf --max-time 10 "$base/") || fail "GET / failed"
grep -qi '<form' <<<"$home" || fail "the home page has no form"
# the download is offered under the real file's name, not the link's
grep -qF "Snipora-$version-win32.zip" <<<"$home" || fail "the home page does not offer Snipora-$version-win32.zip"
download=$(grep -oE "href=\"[^\"]*Snipora-$version-win32\.zip\"" <<<"$home" | head -n1 | sed 's/^href="//; s/"$//' || true)
[ -n "$download" ] || fail "the home page has no link to Snipora-$version-win32.zip"
case $download in http*) ;; *) download=$base/${download#/} ;; esac
curl -sf --max-time 10 -o "$work/download.zip" "$download" || fail "GET $download failed"
# the packaged zip's files, then the Snipora.ini that points the program here
packaged=$(unzip -Z1 "/usr/share/snipora/Snipora-$version-win32.zip")
[ "$(unzip -Z1 "$work/download.zip")" = "$packaged"$'\nSnipora.ini' ] ||
  fail "the download holds $(unzip -Z1 "$work/download.zip" | paste -sd ' '), not the packaged files and Snipora.ini"
ini=$(unzip -p "$work/download.zip" Snipora.ini | tr -d '\r')
grep -qx 'Host=s.example.org' <<<"$ini" ||
  fail "the download's Snipora.ini does not name the public host s.example.org"
created=$(curl -sf --max-time 10 "$base/create.php?source=indexpage&url=http%3A%2F%2Fwww.example.com%2Fpackaged%3Fq%3D1&submit=Shorten") ||
  fail "GET /create.php failed"
short=$(grep -oE 'http://s\.example\.org/[A-Za-z0-9_-]+' <<<"$created" | head -n1 || true)
[ -n "$short" ] || { echo "$created" >&2; fail "the creation answered no short address"; }
followed=$(curl -s -o /dev/null --max-time 10 -w '%{http_code} %{redirect_url}' "$base/${short##*/}")
[ "$followed" = "301 http://www.example.com/packaged?q=1" ] || fail "$short leads to '$followed'"
echo "$short -> ${followed#301 }"
kill "$service_pid"
wait "$service_pid" || fail "snipora-service did not stop cleanly on SIGTERM (exit status $?)"
service_pid=

if command -v systemd-analyze >/dev/null; then
  echo "== systemd-analyze verify"
  unit=$(dpkg -L snipora-service | grep -E '/systemd/system/snipora-service\.service$')
  "$root/service/tests/verify_unit.sh" "$unit" /usr/bin/snipora-service
fi

echo "== removal (dpkg -r) keeps the links, purge deletes them"
# systemd's layout for a dynamic user's state directory
[ -d /var/lib/private ] || made_private=1
as_root mkdir -p -m 0700 /var/lib/private/snipora
[ -e /var/lib/snipora ] || as_root ln -s private/snipora /var/lib/snipora
as_root touch /var/lib/snipora/links.db
# apt-get remove is dpkg -r, waiting for the package database as the others do
as_root apt-get remove -y -q -o DPkg::Lock::Timeout=600 snipora-service
[ ! -e /usr/bin/snipora-service ] || fail "removal left /usr/bin/snipora-service"
as_root test -f /var/lib/snipora/links.db || fail "removal deleted the links"
[ -f "$conf" ] || fail "removal deleted $conf"
as_root apt-get purge -y -q -o DPkg::Lock::Timeout=600 snipora-service
for path in /var/lib/snipora /var/lib/private/snipora "$conf"; do
  if as_root test -e "$path" || as_root test -L "$path"; then fail "purge left $path"; fi
done
echo "package checked"
