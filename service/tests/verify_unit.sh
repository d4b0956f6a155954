#!/usr/bin/env bash
# Checks the systemd unit the Debian package ships with systemd-analyze, its
# program pointed at the one just built (the unit names the installed path).
#   verify_unit.sh UNIT PROGRAM
set -euo pipefail
unit=$1 program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|/usr/bin/snipora-service|$program|" "$unit" >"$work/snipora-service.service"
output=$(SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no "$work/snipora-service.service" 2>&1) || {
  echo "$output"
  echo "verify_unit.sh: systemd-analyze verify failed" >&2
  exit 1
}
# warnings about this unit (not about the host's own units) fail the check
if grep -F "snipora-service.service" <<<"$output"; then
  echo "verify_unit.sh: systemd-analyze has remarks on the unit" >&2
  exit 1
fi
echo "unit verified"
