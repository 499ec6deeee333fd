#!/bin/sh
# Takes a screenshot of the program's main window on a virtual X display: starts Xvfb, runs
# build/bin/tvr (or the program given) on it with a scratch registry and Open Client folder,
# waits for the window, and writes the whole screen to a PNG file.
#
#   scripts/screenshot.sh [program] [output.png]
#
# Needs Xvfb, xwd, xwininfo and ImageMagick's convert (Debian xvfb, x11-apps, x11-utils,
# imagemagick); the build and the tests do not.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/bin/tvr}
output=${2:-$root/screenshot.png}
display=:$((90 + $$ % 9))
scratch=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$scratch"' EXIT INT TERM

Xvfb "$display" -screen 0 800x700x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do xwininfo -display "$display" -root >/dev/null 2>&1 && break; sleep 0.1; done

# A workstation that has been set up, with a morning's activity and error logs.
mkdir -p "$scratch/sybase/ini" "$scratch/runtime" "$scratch/logs"
chmod 700 "$scratch/runtime"
cat >"$scratch/registry.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\DorniqKlv]
"IsI"=dword:00000001

[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase]
"ServerName"="MAINSRV"
"UserName"="sa"

[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv]
"ServerName"="RESSRV"
"UserName"="sa"
REG
for entry in "IsReserv=-1" "IsDumLoadBD=-1" "IsClearLog=-1" "IsInterval=-1" \
    "EditInterval=00:15" "ComboDump=sales" "EditPathDump=/srv/dumps" "ComboLoad=sales_copy" \
    "EditPathLoad=/srv/dumps" "EditLogPath=$scratch/logs" "EditErrorLogPath=$scratch/logs"; do
    printf '\n[HKEY_CURRENT_USER\\Software\\Kelvane\\DorniqSybase\\Reserv\\%s]\n@="%s"\n' \
        "${entry%%=*}" "${entry#*=}" >>"$scratch/registry.reg"
done
day=$(date +%d%m%Y)
printf '%s\r\n' \
    "Backup Server session id is: 9.  Use this value when executing the 'sp_volchanged' system stored procedure after fulfilling any volume change request from the Backup Server.  08:00:01" \
    "Backup Server: 4.41.1.1: Creating new disk file /srv/dumps/sales07.12.2026080001.db.  08:00:01" \
    "Backup Server: 6.28.1.1: Dumpfile name 'sales2634108001 ' section number 1 mounted on disk file '/srv/dumps/sales07.12.2026080001.db'  08:00:02" \
    "Backup Server: 4.188.1.1: Database sales: 8160 kilobytes (100%) DUMPed.  08:00:04" \
    "Backup Server: 3.43.1.1: Dump phase number 3 completed.  08:00:04" \
    "Backup Server: 3.42.1.1: DUMP is complete (database sales).  08:00:04" \
    "Backup Server: 3.42.1.1: LOAD is complete (database sales_copy).  08:00:09" \
    "\$Err\$ct_connect(): network packet layer: internal net library error: Net-Lib protocol driver call to connect two endpoints failed" \
    >"$scratch/logs/sales$day.log"
printf '\r\n$Err$\r\n$Err$Error: Time: 08:15:03;  number 4305;  severity 16;  state 1;  line 1\r\n$Err$Specified file '"'"'/srv/dumps/sales07.12.2026081502.tr'"'"' is out of sequence.' \
    | tee -a "$scratch/logs/sales$day.log" >"$scratch/logs/errsales$day.log"
printf '\r\n$Mess$\r\n$Mess$Error: Time: 08:15:04;  number 2007;  severity 11;  state 1;  line 40\r\n$Mess$Cannot add rows to sysdepends for the current stored procedure because it depends on the missing object.\r\n' \
    >>"$scratch/logs/sales$day.log"
printf '%s\r\n' "Backup Server: 3.42.1.1: DUMP is complete (database sales).  08:30:04" \
    "Backup Server: 3.42.1.1: LOAD is complete (database sales_copy).  08:30:07" >>"$scratch/logs/sales$day.log"
DISPLAY=$display QT_QPA_PLATFORM=xcb SYBASE=$scratch/sybase XDG_RUNTIME_DIR=$scratch/runtime \
    TVR_REGISTRY=$scratch/registry.reg "$program" >"$scratch/tvr.log" 2>&1 &
app=$!
for _ in $(seq 100); do
    xwininfo -display "$display" -root -tree 2>/dev/null | grep -q 'Travenor(TVR)' && break
    sleep 0.1
done
sleep 1  # let it paint
xwd -display "$display" -root -silent | convert xwd:- "$output"
echo "screenshot: $output"
