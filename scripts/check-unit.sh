#!/usr/bin/env bash
# Checks the systemd unit with systemd-analyze verify, as an instance (travenor@check), with its
# tvr replaced by the one built here: systemd checks that the program it would start exists.
# Usage: scripts/check-unit.sh UNIT-FILE TVR
set -euo pipefail
unit=$1
tvr=$2
fail() { echo "check-unit: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
grep -q '^ExecStart=tvr --service --profile %i ' "$unit" || fail "ExecStart does not run tvr --service for the instance's profile"
sed "s|^ExecStart=tvr |ExecStart=$tvr |" "$unit" >"$scratch/travenor@check.service"
# The manual page is not installed in a build tree; everything else is checked.
if ! out=$(systemd-analyze verify --man=no "$scratch/travenor@check.service" 2>&1) || [[ -n $out ]]; then
  echo "$out" >&2
  fail "systemd-analyze verify does not pass $unit"
fi
echo "check-unit: $unit verified"
