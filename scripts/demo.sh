#!/usr/bin/env bash
# Travenor at work on this machine, with nothing to set up by hand: it installs what is
# missing, builds, starts two emulated servers (MAIN with the sample database "sales",
# RESERVE with the empty "sales_copy"), prepares a workstation of its own for them, and
# starts the program unattended ("P1:... P2:... -A") so that it ships the database at once.
# While it runs, rows change on MAIN, and once, after a few passes, the program is stopped
# with SIGTERM and started again: with "resume the log chain" set, the second run goes on with
# transaction passes instead of a full dump (its ledger lines and activity line show it).
# Without a display the program runs on Qt's offscreen platform for about a minute while the
# activity log is printed; with one, the window is yours until you choose Exit. At the end
# the reserve database is brought online and compared with the main one, and the servers are
# stopped.
#
# Everything lives in build/demo, made afresh on every run: the user's own settings
# (~/.config/travenor) and logs are never touched.
#   DEMO_SECONDS=N   how long the offscreen run changes rows (default 50)
#   DEMO_FAILOVER=1  after the program has ended, a row changes on MAIN and
#                    "tvr --failover --fence" makes MAIN's database read only, brings the
#                    reserve online with the row and prints the report; a write to MAIN
#                    is then refused, and the fence is lifted
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tvr aseemu tvr_first_setup
bin=$root/build/bin

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/log"
main_password=main-secret
reserve_password=reserve-secret

say() { printf '\n== %s\n' "$*"; }

# Two free ports for the servers (the sandbox gives RESERVE the port of MAIN plus two).
in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=""
for base in $(seq 5000 10 5990); do
  if ! in_use "$base" && ! in_use $((base + 2)); then
    port=$base
    break
  fi
done
[[ -n $port ]] || {
  echo "No free port between 5000 and 5992 for the emulated servers." >&2
  exit 1
}

say "On a terminal, with no display: tvr --version, and tvr --help's usage lines"
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tvr" --version
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tvr" --help | sed -n '1,2p'

say "The emulator's sandbox: an Open Client folder for two servers and their data"
"$bin/aseemu" sandbox "$demo/sandbox" --port "$port" >/dev/null
sybase=$demo/sandbox/sybase
echo "SYBASE=$sybase (ini/sql.ini, interfaces, freetds.conf)"

pids=()
cleanup() {
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say "Starting the emulated servers MAIN (port $port) and RESERVE (port $((port + 2)))"
start_server() { # name port data-folder password
  "$bin/aseemu" --name "$1" --port "$2" --data "$3" --login "sa:$4" \
    >"$demo/$1.out" 2>"$demo/$1.log" &
  pids+=($!)
  for _ in $(seq 600); do
    grep -q '^listening on' "$demo/$1.out" 2>/dev/null && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "The server $1 did not start:" >&2
  cat "$demo/$1.log" >&2
  exit 1
}
start_server MAIN "$port" "$demo/sandbox/main" "$main_password"
start_server RESERVE $((port + 2)) "$demo/sandbox/reserve" "$reserve_password"

# The program and fisql find the servers through the sandbox's freetds.conf; the program's
# settings live in a registry file of the demo's own.
export SYBASE=$sybase
export FREETDSCONF=$sybase/freetds.conf
export TVR_REGISTRY=$demo/registry.reg

sql() { # server password statements...; prints the result rows
  local server=$1 password=$2
  shift 2
  printf '%s\ngo\n' "$@" | fisql -S "$server" -U sa -P "$password" -w 200 2>&1 |
    grep -v -e "^Changed database context" -e '^$' || true
}

say "tvr_first_setup --help: the first setup from a shell, as its manual page shows it"
"$bin/tvr_first_setup" --help

say "First setup of the workstation: sales on MAIN paired with sales_copy on RESERVE"
"$bin/tvr_first_setup" --main-server MAIN --main-database sales \
  --reserve-server RESERVE --reserve-database sales_copy \
  --main-password "$main_password" --reserve-password "$reserve_password" \
  --dump-folder "$demo/sandbox/dumps" --load-folder "$demo/sandbox/dumps" \
  --log-folder "$demo/log" --interval 00:00:10 --view-lines 1000 --resume-chain
echo "A pass every 10 seconds (the interval setting \"00:00:10\"), the first one a full dump."
echo "A restart goes on with the log chain where it stopped (--resume-chain: IsResumeChain)."
setting() { # entry value: a settings entry of the demo's registry file, as the dialog writes it
  printf '\n[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv\\%s]\n@="%s"\n' "$1" "$2" \
    >>"$TVR_REGISTRY"
}
# The log views wrap long lines (View > Wrap lines, off unless chosen), so the Backup Server's
# long messages read whole in the window.
setting LogViewWrapLines -1
echo "Long lines wrap in the log views (View > Wrap lines)."
# Each dump's header is read on RESERVE (load ... with headeronly) before the dump is loaded.
setting IsCheckHeader -1
echo "Each dump's header is checked before its load (IsCheckHeader)."

# An earlier run of the day left 1,500 lines in today's activity log; the log views keep their
# newest 1,000 lines (the Views page of the settings), so the Activity view starts with a line that names
# the log file, then the newest 1,000 of those lines.
seeded=1500
for ((n = 1; n <= seeded; n++)); do
  printf 'Earlier run: entry %d of %d  09:00:00\r\n' "$n" "$seeded"
done >"$demo/log/sales$(date +%d%m%Y).log"

# One instance per user: a Travenor of the user's own that runs already would end the demo's.
guard=${XDG_RUNTIME_DIR:-/tmp}/DumpLoadDBSync
[[ -n ${XDG_RUNTIME_DIR:-} ]] || guard=/tmp/DumpLoadDBSync-$(id -u)
if [[ -e $guard ]] && ! flock -n "$guard" true; then
  echo "Travenor is running already; choose Exit in its tray menu, then start the demo again." >&2
  exit 1
fi

display=yes
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  display=no
  export QT_QPA_PLATFORM=offscreen
fi

start_tvr() {
  "$bin/tvr" "P1:$main_password" "P2:$reserve_password" -A --metrics "$demo/metrics/tvr.prom" \
    >>"$demo/tvr.out" 2>&1 &
  tvr_pid=$!
  pids+=("$tvr_pid")
}
say "Starting: tvr P1:$main_password P2:$reserve_password -A --metrics $demo/metrics/tvr.prom"
start_tvr

# Changes made on MAIN while the program ships, one at a time.
changes=(
  "insert into orders values (104, 2, 310.4, getdate())"
  "update customers set city = 'Lisbon' where id = 3"
  "insert into customers values (4, 'Fjord Provisions', 'Bergen')"
  "insert into orders values (105, 4, 77.25, getdate())"
  "delete from orders where id = 101"
  "update orders set amount = amount * 2 where customer_id = 2"
)
change_rows() { # the number of the change to make
  echo "   >> MAIN: ${changes[$1]}"
  sql MAIN "$main_password" "use sales" "${changes[$1]}" | sed 's/^/   >> /'
}

logfile() { compgen -G "$demo/log/sales*.log" | head -1 || true; }

# The ledger of every dump made and every load tried, beside the registry file.
ledger=$demo/ledger.csv
lines_of() { if [[ -f $1 ]]; then wc -l <"$1"; else echo 0; fi; }

# Once, mid-run: SIGTERM (a confirmed Exit) right after a pass has loaded, so that no dump is
# left to load, then the same command again. What the ledger gained from then on and the
# activity log's line about the log chain are shown once the program has ended.
restarted=no
restart_tvr() {
  local log lines
  log=$(logfile)
  [[ -n $log ]] || return 0
  lines=$(lines_of "$log")
  for _ in $(seq 900); do
    kill -0 "$tvr_pid" 2>/dev/null || return 0
    tail -n +$((lines + 1)) "$log" | tr -d '\r' | grep -q "LOAD is complete" && break
    sleep 0.1
  done
  echo "   >> A pass has loaded: tvr is stopped with SIGTERM and started again"
  kill -TERM "$tvr_pid"
  # SIGTERM lets the pass under way finish; one that never ends is a fault to show.
  for _ in $(seq 1200); do
    kill -0 "$tvr_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$tvr_pid" 2>/dev/null; then
    echo "tvr did not end within 120 s of SIGTERM. Its output:" >&2
    cat "$demo/tvr.out" >&2
    exit 1
  fi
  local code=0
  wait "$tvr_pid" || code=$?
  echo "   >> tvr ended with exit code $code; starting it again with the same settings"
  ledger_mark=$(lines_of "$ledger")
  log_mark=$(lines_of "$log")
  start_tvr
  restarted=yes
}

# The second run's ledger lines and its line about the log chain, and whether it sent a full
# dump (a "dump-begun" or "dump" entry of kind "full" after the restart).
show_restart() {
  [[ $restarted == yes ]] || return 0
  say "After the restart: the ledger's new lines ($ledger) and the log chain"
  tail -n +$((ledger_mark + 1)) "$ledger" | sed 's/^/   ledger| /'
  tail -n +$((log_mark + 1)) "$(logfile)" | tr -d '\r' | grep -i "log chain" | head -1 |
    sed 's/^/   activity| /'
  if tail -n +$((ledger_mark + 1)) "$ledger" |
    awk -F, '$2 ~ /^dump/ && /,full,/ { f = 1 } END { exit !f }'; then
    echo "The restart sent a full dump: the log chain was not resumed."
    restart_full=yes
  else
    echo "The restart sent no full dump: the second run went on with transaction passes."
  fi
}
restart_full=no

if [[ $display == yes ]]; then
  cat <<EOF

Travenor runs in the tray (the "-A" switch hides its window) and ships the database now:
  * click its tray icon, or choose "Main" in the tray icon's menu, to open the window (on a
    desktop without a tray the window comes up minimised instead);
  * the Activity view (lower half) shows each pass: "Start Dump" on MAIN, "Start Load" on
    RESERVE, the Backup Server's progress; the status bar shows "Processing..." and
    "Sleeping..."; errors would also appear in the ErrorLog view; scroll to its top: the
    view keeps its newest 1,000 lines and its first line names the log file with all of them;
  * this script changes a row on MAIN every 15 seconds; the next pass ships it;
  * after the third change's pass it stops the program with SIGTERM, as a shutdown would, and
    starts it again: the log chain is resumed, no full dump (the Activity view says so, and
    this script shows the ledger's lines once the program has ended);
  * choose "Exit" in the tray menu (or File > Exit) to end; the script then compares the
    reserve database with the main one. Ctrl+C here ends everything at once.
EOF
  i=0
  while kill -0 "$tvr_pid" 2>/dev/null; do
    if ((i % 15 == 14 && i / 15 < ${#changes[@]})); then change_rows $((i / 15)); fi
    # After the third change's pass the program is stopped and started again, once.
    if ((i == 45)); then restart_tvr; fi
    sleep 1
    i=$((i + 1))
  done
  wait "$tvr_pid" || true
else
  say "No display: the program runs on the offscreen platform. Its activity log:"
  for _ in $(seq 300); do
    [[ -n $(logfile) ]] && break
    kill -0 "$tvr_pid" 2>/dev/null || break
    sleep 0.1
  done
  log=$(logfile)
  if [[ -z $log ]]; then
    echo "The program wrote no activity log. Its output:" >&2
    cat "$demo/tvr.out" >&2
    exit 1
  fi
  echo "($log)"
  echo "(the window's Activity view shows a line naming this file, then its newest lines: it"
  echo " keeps 1,000; the $seeded lines of an earlier run are not repeated here)"
  tail -n +$((seeded + 1)) -F "$log" 2>/dev/null | sed -u 's/\r$//; s/^/   | /' &
  tail_pid=$!
  pids+=("$tail_pid")

  seconds=${DEMO_SECONDS:-50}
  step=$((seconds / ${#changes[@]}))
  ((step > 0)) || step=1
  for n in "${!changes[@]}"; do
    sleep "$step"
    kill -0 "$tvr_pid" 2>/dev/null || break
    change_rows "$n"
    # Half way through the changes the program is stopped and started again, once.
    if ((n == ${#changes[@]} / 2 - 1)); then restart_tvr; fi
  done
  # The last change has been shipped once a pass that began after it has loaded its dump.
  lines=$(wc -l <"$log")
  shipped=no
  for _ in $(seq 600); do
    kill -0 "$tvr_pid" 2>/dev/null || break
    if tail -n +$((lines + 1)) "$log" | tr -d '\r' |
      awk '/Start Dump/ { s = 1 } s && /LOAD is complete/ { f = 1 } END { exit !f }'; then
      shipped=yes
      break
    fi
    sleep 0.1
  done
  sleep 0.5
  kill "$tail_pid" 2>/dev/null || true
  if ! kill -0 "$tvr_pid" 2>/dev/null; then
    echo "The program ended early. Its output:" >&2
    cat "$demo/tvr.out" >&2
    exit 1
  fi
  [[ $shipped == yes ]] || echo "No pass after the last change completed in time."
  # The lag after the last pass, as the program's watch counts it: now minus the start of
  # the dump of the last good load (the "Start Dump" before the last "LOAD is complete").
  good_dump=$(tr -d '\r' <"$log" |
    awk '/^Start Dump/ { t = $NF } /LOAD is complete/ { good = t } END { print good }')
  if [[ -n $good_dump ]] && started=$(date -d "$good_dump" +%s 2>/dev/null); then
    echo "Lag after the last pass: $(($(date +%s) - started)) s (its dump began at $good_dump)."
  fi
  kill "$tvr_pid"
  wait "$tvr_pid" 2>/dev/null || true
fi
show_restart

# The same pair as systemd would run it: no window, no display, the passwords from a file its
# owner alone reads; SIGTERM stops it once the pass under way has loaded.
say "As a service: tvr --service --password-file FILE (no window, no display)"
printf 'P1:%s\nP2:%s\n' "$main_password" "$reserve_password" >"$demo/passwords"
chmod 600 "$demo/passwords"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$bin/tvr" --service --password-file "$demo/passwords" 2>"$demo/service.err" &
service_pid=$!
pids+=("$service_pid")
log=$(logfile)
lines=$(wc -l <"$log")
for _ in $(seq 600); do
  tail -n +$((lines + 1)) "$log" | tr -d '\r' | grep -q "LOAD is complete" && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$service_pid" 2>/dev/null || true
status=0
wait "$service_pid" || status=$?
sed 's/^/   journal| /' "$demo/service.err"
echo "A pass shipped; SIGTERM stopped it with exit code $status."

if [[ ${DEMO_FAILOVER:-0} == 1 ]]; then
  say "Failover: tvr --failover --fence brings the reserve database online"
  sql MAIN "$main_password" "use sales" \
    "insert into customers values (99, 'Tail of the log', NULL)" >/dev/null
  echo "(a row inserted on MAIN after the program's last pass: only the tail of the log has it)"
  code=0
  "$bin/tvr" --failover --fence "P1:$main_password" "P2:$reserve_password" || code=$?
  echo "tvr --failover ended with exit code $code (0 done, 1 settings fault, 2 stopped)."
  echo "An application still writing to MAIN after the fence:"
  sql MAIN "$main_password" "use sales" \
    "insert into customers values (100, 'After the fence', NULL)" 2>&1 | sed 's/^/   /' || true
  # The comparison below needs MAIN's rows as the reserve has them; the row was refused.
  sql MAIN "$main_password" "use master" 'sp_dboption sales, "read only", false' >/dev/null
  echo "(the fence lifted again with: sp_dboption sales, \"read only\", false)"
fi

say "The reserve database, brought online, against the main one"
# After a failover it is online already; the statement then changes nothing.
sql RESERVE "$reserve_password" "online database sales_copy" >/dev/null
# Amounts are money; fisql shows money with four decimals, so they are listed with two.
tables=("select * from customers order by id"
  "select id, customer_id, convert(numeric(12,2), amount) as amount, placed from orders order by id")
sql MAIN "$main_password" "use sales" "${tables[@]}" >"$demo/main-rows.txt"
sql RESERVE "$reserve_password" "use sales_copy" "${tables[@]}" >"$demo/reserve-rows.txt"
cat "$demo/main-rows.txt"
if cmp -s "$demo/main-rows.txt" "$demo/reserve-rows.txt"; then
  echo
  echo "RESERVE.sales_copy holds the same rows as MAIN.sales."
else
  echo
  echo "RESERVE.sales_copy differs from MAIN.sales:"
  diff "$demo/main-rows.txt" "$demo/reserve-rows.txt" || true
  # Offscreen the script waited for the last change to be shipped; a program ended by hand
  # may have stopped before its next pass.
  [[ $display == yes ]] || exit 1
  echo "(A change made after the program's last pass was not shipped before it ended.)"
fi

say "What a monitoring system sees: tvr --check (with performance data), tvr --status and the metrics file"
# No display needed: the check reads the pass history beside the activity log.
check_status=0
check_line=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tvr" --check) || check_status=$?
echo "$check_line"
echo "(exit code $check_status)"
[[ $check_line == *" | lag="* ]] || { echo "demo: the check line has no performance data" >&2; exit 1; }
# One line for each profile of this machine: whether it runs, the verdict, the loads waiting.
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tvr" --status
if [[ -f $demo/metrics/tvr.prom ]]; then
  grep -v '^#' "$demo/metrics/tvr.prom"
fi
echo "Logs, dumps and the demo's settings are in $demo; the servers are stopped now."
# Offscreen the restart is the script's own: a full dump after it is a fault.
[[ $restart_full == no || $display == yes ]] || exit 1
