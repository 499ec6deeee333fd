#!/bin/bash
# Runs the commands the user README shows, as a reader would, against the two servers of the
# emulator's sandbox: the trial as written (its folder and ports aside), the other examples
# with the sandbox's servers, databases, folders and empty passwords in place of the README's
# production ones. A command of the README that this script neither runs nor names as tried by
# another test fails it, so that no example goes untried. Then the manual pages: clean under
# groff -ww, and every option of a synopsis known to the program's --help.
#
#   tests/packaging/readme_commands.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
readme=$src/packaging/README.user.md

T=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$T"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config QT_QPA_PLATFORM=offscreen
export PATH=$bin:$PATH
unset TVR_REGISTRY DISPLAY WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME/travenor"

# The README's commands: the indented lines of its examples, a line ending in a backslash
# joined to the next, a comment after two blanks and '#' dropped.
readme_commands() {
  awk '/^    +[^ ]/ {
         line = $0; sub(/^ +/, "", line); sub(/  +# .*$/, "", line)
         if (held != "") line = held " " line
         if (line ~ /\\$/) { sub(/ *\\$/, "", line); held = line; next }
         held = ""; print line
       }' "$readme"
}

# The README's production names made the sandbox's.
local_form() {
  sed -e "s|/tmp/tvr-try|$T/try|g" -e 's/\bPROD\b/MAIN/g' -e 's/\bSTANDBY\b/RESERVE/g' \
    -e 's/--reserve-database sales\b/--reserve-database sales_copy/g' \
    -e "s| /dumps| $T/try/dumps|g" -e "s|~/tvr-log|$T/log|g" -e "s/'\.\.\.'/''/g" \
    -e 's/<main password>//g; s/<reserve password>//g' -e "s|~/|$HOME/|g" \
    -e "s|/opt/sybase|$T/try/sybase|g" -e "s|/var/lib/node_exporter/|$T/|g" <<<"$1"
}

# The trial's first step comes first whatever the order: every other example needs servers.
port=""
in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for base in $(seq 5100 10 5990); do
  if ! in_use "$base" && ! in_use $((base + 2)); then port=$base && break; fi
done
[[ -n $port ]] || fail "no free port for the servers"
sandbox_line=$(readme_commands | grep '^aseemu sandbox ') || fail "the README has no sandbox"
eval "$(local_form "$sandbox_line") --port $port" >"$T/sandbox.out"
# It prints the servers' commands and the variables to set: run and set them as told.
while read -r command; do
  $command >>"$T/servers.out" 2>&1 &
  pids+=($!)
done < <(grep -E '^ +[^ ]*aseemu --name ' "$T/sandbox.out")
eval "$(grep -E '^ +export ' "$T/sandbox.out")"
for _ in $(seq 300); do in_use "$port" && in_use $((port + 2)) && break; sleep 0.1; done

dumps() { find "$T/try/dumps" -name "*.$1" 2>/dev/null | wc -l; }
# Passes ended, as the pass histories beside the logs count them.
passes() { { cat "$T"/log/*history-*.csv "$T"/try/log/*history-*.csv 2>/dev/null || true; } | wc -l; }
# A program that runs until stopped: started, left until `$2` says it did its work, stopped by
# SIGTERM, expected to end with 0.
run_until() {
  local command=$1 done=$2 pid code=0
  eval "exec $command" >>"$T/run.out" 2>&1 &
  pid=$!
  for _ in $(seq 600); do
    eval "$done" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  eval "$done" || { cat "$T/run.out" >&2; fail "$command did not do its work"; }
  kill -TERM "$pid"
  wait "$pid" || code=$?
  [[ $code == 0 ]] || fail "$command ended with $code after SIGTERM"
}

ran=0
failover=""
while IFS= read -r line; do
  command=$(local_form "$line")
  case $line in
    "sudo apt install "*) continue ;;  # package_deb installs the package
    "systemctl --user "* | "loginctl "* | "journalctl "*)
      continue ;;  # systemd_unit verifies the unit; its command line runs below
    "aseemu sandbox "*) continue ;;  # run first, above
    "tvr --failover "*) failover=$command && continue ;;  # last: it ends the shipping
    "printf "* | "chmod "* | "export "* | "tvr_first_setup "* | "tvr --help" | "tvr --version")
      eval "$command" >>"$T/run.out" 2>&1 || fail "$line" ;;
    "man tvr")
      if command -v man >/dev/null; then
        man -l "$src/packaging/man/tvr.1" >/dev/null || fail "$line"
      else
        groff -man -Tutf8 "$src/packaging/man/tvr.1" >/dev/null || fail "$line"
      fi ;;
    "tvr --check"* | "tvr --status")
      code=0
      out=$(eval "$command" 2>&1) || code=$?
      [[ $code -le 3 && $out =~ (OK|WARNING|CRITICAL|UNKNOWN|running) ]] || fail "$line: $code $out" ;;
    *"--metrics "*)
      file=$(sed 's/.*--metrics \([^ ]*\).*/\1/' <<<"$command")
      run_until "$command" "grep -q '^tvr_lag_seconds' '$file' 2>/dev/null" ;;
    *"--reseed"*)
      before=$(dumps db) ended=$(passes)
      run_until "$command" "[[ \$(dumps db) -gt $before && \$(passes) -gt $ended ]]" ;;
    "tvr --profile "*)
      run_until "$command" "sleep 2" ;;
    "tvr P1:"* | "tvr --service "*)
      ended=$(passes)
      run_until "$command" "[[ \$(passes) -gt $ended ]]" ;;
    *) fail "the README shows a command this test does not run: $line" ;;
  esac
  ran=$((ran + 1))
done < <(readme_commands | grep -v -E '^(\[|master=|query=|master |host =|port =|tds version =|[A-Z]+$)')
[[ -n $failover ]] || fail "the README shows no failover"
code=0
eval "$failover" >>"$T/run.out" 2>&1 || code=$?
[[ $code == 0 ]] || { cat "$T/run.out" >&2; fail "$failover ended with $code"; }
echo "$((ran + 2)) commands of the README ran"

# The manual pages: no warning, and a synopsis names only options the program knows.
for page in "$src"/packaging/man/*.1; do
  warnings=$(groff -ww -man -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "$page: $warnings"
done
for program in tvr tvr_first_setup; do
  usage=$("$program" --help 2>&1) || fail "$program --help"
  synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/p' "$src/packaging/man/$program.1" |
    grep -o -- '\\-\\-[a-z\\-]*' | sed 's/\\//g' | sort -u)
  for option in $synopsis; do
    grep -q -- "$option" <<<"$usage" || fail "$program.1 shows $option, which $program --help does not"
  done
done
echo "the manual pages are clean"
