#!/usr/bin/env bash
# The batch benchmark. Builds what it needs, then for every row count R and
# pair count N: lays out N database pairs (bench/generate_pairs.cpp), times
# `actualiz-cli batch --no-backup` over them (the backups are timed on their
# own by --backup) and the floor (bench/floor.cpp: the same
# changes straight through SQLite, one transaction per database) on fresh
# copies of the same customer databases, checks that both end with the same
# structure, and prints the time per pair of each, their ratio and the
# batch's peak memory.
#
# With --server, the customer databases are schemas of a database on a
# PostgreSQL server the bench starts for itself (bench/server_bench.cpp):
# it times `actualiz-cli batch --data URL` against the same changes made
# through psql, one transaction per schema, and prints the time per pair of
# each (wall clock; CPU of client and server together) and their ratio.
#
# With --backup, it times the backups a batch run takes before it changes
# anything (app::BackUpDatabases, through bench/backup_bench.cpp) of the N
# customer databases, the engine's copy alone (engine::CopyDatabase, new
# files), SQLite's online backup of the same files, and `cp -r`
# of them in the same run (also followed by `sync` of the copies, as the
# backups are synced), and prints the time per database of each and the
# backup's ratio to cp.
#
# With --check, it lays out the pairs, runs the batch once so that they are
# up to date, then times `actualiz-cli check` over them against the floor
# (bench/schema_floor.cpp: every model's and customer database's structure
# read straight through SQLite) and prints the time per pair of each and
# their ratio.
#
# With --fleet, it lays out F locations (--locations F, default 4) of N
# pairs each and times `actualiz-cli fleet` over them with each jobs count
# of --jobs (default 1,2,4), each on fresh copies, and prints the time per
# pair, the ratio of each to the first jobs count and the fleet run's peak
# memory. With --fleet --server the locations are databases on a PostgreSQL
# server the bench starts for itself (bench/server_fleet_bench.cpp), and the
# lines add the client's and the server's CPU a pair.
#
# With --all, it runs the backups, check and the batch one after the other,
# over the same sizes, and prints the three tables.
#
# Usage: bench/run.sh [--server|--backup|--check|--fleet|--all] [--n 10,100,1000] [--rows 100,10000]
#                     [--locations F] [--jobs 1,2,4] [--keep]
# Scratch files go to out/bench/ (removed after each size unless --keep);
# results are appended to out/bench/results.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
counts=10,100,1000
rows_list=100,10000
keep=0
server=0
backup=0
check=0
fleet=0
all=0
locations=4
jobs_list=1,2,4
while (($#)); do
  case $1 in
    --server) server=1; shift ;;
    --backup) backup=1; shift ;;
    --check) check=1; shift ;;
    --all) all=1; backup=1; check=1; shift ;;
    --fleet) fleet=1; shift ;;
    --locations) locations=$2; shift 2 ;;
    --jobs) jobs_list=$2; shift 2 ;;
    --n) counts=$2; shift 2 ;;
    --rows) rows_list=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: bench/run.sh [--server|--backup|--check|--fleet|--all] [--n 10,100,1000] [--rows 100,10000] [--locations F] [--jobs 1,2,4] [--keep]" >&2
      exit 2 ;;
  esac
done

# ACTUALIZ_BENCH_BUILD names a build tree configured with -DACTUALIZ_BENCH=ON
# and already built; without it the script builds its own (RelWithDebInfo).
if [[ -n ${ACTUALIZ_BENCH_BUILD:-} ]]; then
  build=$ACTUALIZ_BENCH_BUILD
else
  build=$here/build-bench
  "$here/scripts/build.sh" "$build" -DACTUALIZ_BENCH=ON -DACTUALIZ_TESTS=OFF -DACTUALIZ_GUI=OFF
fi
if [[ ! -x /usr/bin/time ]]; then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq time
fi
cli=$build/actualiz-cli
out=$here/out/bench
mkdir -p "$out"
results=$out/results.txt

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
peak_kib() { awk -F': ' '/Maximum resident set size/ {print $2}' "$1"; }
cpu_s() { awk -F': ' '/User time|System time/ {s += $2} END {print s}' "$1"; }

IFS=, read -ra row_counts <<<"$rows_list"
IFS=, read -ra pair_counts <<<"$counts"
IFS=, read -ra jobs_counts <<<"$jobs_list"
if ((server && fleet)); then
  printf '%-7s %-6s %-5s %-5s %14s %9s %15s %15s %9s %7s\n' rows pairs locs jobs fleet_ms/pair \
    ratio_j1 client_cpu_ms/p server_cpu_ms/p peak_MiB status | sed 's/^/server fleet /' |
    tee -a "$results"
  for rows in "${row_counts[@]}"; do
    for n in "${pair_counts[@]}"; do
      scratch=$out/server-fleet-r$rows-n$n
      rm -rf "$scratch"
      "$build/bench/actualiz-bench-generate" --into "$scratch" --pairs "$n" --rows "$rows" \
        --for-server >/dev/null
      "$build/bench/actualiz-bench-server-fleet" --drive "$scratch" --cli "$cli" --rows "$rows" \
        --locations "$locations" --jobs "$jobs_list" | sed 's/^/server fleet /' | tee -a "$results"
      ((keep)) || rm -rf "$scratch"
    done
  done
  exit 0
fi
if ((server)); then
  printf '%-7s %-6s %14s %14s %7s %14s %14s %14s %14s %5s\n' rows pairs batch_ms/pair \
    floor_ms/pair ratio batch_cpu_ms/p batch_srv_ms/p floor_cpu_ms/p floor_srv_ms/p same |
    sed 's/^/server /' | tee -a "$results"
  for rows in "${row_counts[@]}"; do
    for n in "${pair_counts[@]}"; do
      scratch=$out/server-r$rows-n$n
      rm -rf "$scratch"
      "$build/bench/actualiz-bench-generate" --into "$scratch" --pairs "$n" --rows "$rows" \
        --for-server >/dev/null
      "$build/bench/actualiz-bench-server" --drive "$scratch" --cli "$cli" --rows "$rows" |
        sed 's/^/server /' | tee -a "$results"
      ((keep)) || rm -rf "$scratch"
    done
  done
  exit 0
fi

if ((backup)); then
  printf '%-7s %-6s %12s %12s %12s %12s %12s %9s %9s %5s\n' rows dbs backup_ms/db copy_ms/db \
    online_ms/db cp_ms/db cp_sync_ms/db ratio_cp ratio_cps same | sed 's/^/backup /' | tee -a "$results"
  for rows in "${row_counts[@]}"; do
    for n in "${pair_counts[@]}"; do
      scratch=$out/backup-r$rows-n$n
      rm -rf "$scratch"
      "$build/bench/actualiz-bench-generate" --into "$scratch" --pairs "$n" --rows "$rows" \
        >/dev/null
      data=$scratch/c/datos
      sync

      start=$(now)
      cp -r "$data" "$scratch/cp"
      cp_s=$(calc "$(now) - $start")
      sync "$scratch"/cp/*.mdb
      cp_sync_s=$(calc "$(now) - $start")

      timed=$("$build/bench/actualiz-bench-backup" --data "$data" --scratch "$scratch/online")
      read -r backup_s copy_s online_s same <<<"$timed"
      backup_ms=$(calc "1000 * $backup_s / $n")
      cp_ms=$(calc "1000 * $cp_s / $n")
      cp_sync_ms=$(calc "1000 * $cp_sync_s / $n")
      printf '%-7s %-6s %12.3f %12.3f %12.3f %12.3f %12.3f %9.2f %9.2f %5s\n' "$rows" "$n" \
        "$backup_ms" "$(calc "1000 * $copy_s / $n")" "$(calc "1000 * $online_s / $n")" \
        "$cp_ms" "$cp_sync_ms" \
        "$(calc "$backup_ms / $cp_ms")" "$(calc "$backup_ms / $cp_sync_ms")" "$same" |
        sed 's/^/backup /' | tee -a "$results"
      ((keep)) || rm -rf "$scratch"
    done
  done
  ((all)) || exit 0
fi

if ((fleet)); then
  printf '%-7s %-6s %-5s %-5s %14s %9s %15s %7s\n' rows pairs locs jobs fleet_ms/pair ratio_j1 \
    fleet_peak_MiB status | sed 's/^/fleet /' | tee -a "$results"
  for rows in "${row_counts[@]}"; do
    for n in "${pair_counts[@]}"; do
      scratch=$out/fleet-r$rows-n$n
      rm -rf "$scratch"
      "$build/bench/actualiz-bench-generate" --into "$scratch/base" --pairs "$n" --rows "$rows" \
        >/dev/null
      one_s=
      for jobs in "${jobs_counts[@]}"; do
        entries=()
        for ((f = 0; f < locations; f++)); do
          rm -rf "$scratch/l$f"
          cp -a "$scratch/base" "$scratch/l$f"
          entries+=("{\"name\": \"l$f\", \"data\": \"c:\\\\datos\", \"drive\": {\"c\": \"l$f/c\"}, \"program-dir\": \"c:\\\\prog\"}")
        done
        (IFS=,; echo "{\"locations\": [${entries[*]}]}") >"$scratch/fleet.json"
        sync
        start=$(now)
        status=0
        /usr/bin/time -v -o "$scratch/fleet.time" "$cli" fleet "$scratch/fleet.json" \
          --jobs "$jobs" --no-backup --quiet >"$scratch/fleet.log" 2>&1 || status=$?
        fleet_s=$(calc "$(now) - $start")
        [[ -n $one_s ]] || one_s=$fleet_s
        printf '%-7s %-6s %-5s %-5s %14.2f %9.2f %15.1f %7s\n' "$rows" "$n" "$locations" "$jobs" \
          "$(calc "1000 * $fleet_s / ($n * $locations)")" "$(calc "$fleet_s / $one_s")" \
          "$(calc "$(peak_kib "$scratch/fleet.time") / 1024")" "$status" |
          sed 's/^/fleet /' | tee -a "$results"
      done
      ((keep)) || rm -rf "$scratch"
    done
  done
  exit 0
fi

if ((check)); then
  printf '%-7s %-6s %14s %14s %7s %7s\n' rows pairs check_ms/pair floor_ms/pair ratio status |
    sed 's/^/check /' | tee -a "$results"
  for rows in "${row_counts[@]}"; do
    for n in "${pair_counts[@]}"; do
      scratch=$out/check-r$rows-n$n
      rm -rf "$scratch"
      "$build/bench/actualiz-bench-generate" --into "$scratch" --pairs "$n" --rows "$rows" >/dev/null
      site=(--drive "c=$scratch/c" --program-dir "$scratch/c/prog")
      "$cli" "${site[@]}" batch --no-backup --quiet --data 'c:\datos' || {
        echo "the batch that brings the pairs up to date ended with status $?" >&2
        exit 1
      }
      sync
      start=$(now)
      status=0
      "$cli" "${site[@]}" check --data 'c:\datos' >"$scratch/check.log" 2>&1 || status=$?
      check_s=$(calc "$(now) - $start")
      floor_s=$("$build/bench/actualiz-bench-schema-floor" "$scratch"/c/prog/modelos/*.mdb \
        "$scratch"/c/datos/*.mdb 2>/dev/null)
      check_ms=$(calc "1000 * $check_s / $n")
      floor_ms=$(calc "1000 * $floor_s / $n")
      printf '%-7s %-6s %14.2f %14.2f %7.1f %7s\n' "$rows" "$n" "$check_ms" "$floor_ms" \
        "$(calc "$check_ms / $floor_ms")" "$status" | sed 's/^/check /' | tee -a "$results"
      ((keep)) || rm -rf "$scratch"
    done
  done
  ((all)) || exit 0
fi

printf '%-7s %-6s %14s %14s %7s %14s %14s %15s %5s\n' rows pairs batch_ms/pair floor_ms/pair ratio \
  batch_cpu_ms/p floor_cpu_ms/p batch_peak_MiB same |
  tee -a "$results"
for rows in "${row_counts[@]}"; do
  for n in "${pair_counts[@]}"; do
    scratch=$out/r$rows-n$n
    rm -rf "$scratch"
    "$build/bench/actualiz-bench-generate" --into "$scratch" --pairs "$n" --rows "$rows" >/dev/null
    sync

    start=$(now)
    status=0
    /usr/bin/time -v -o "$scratch/batch.time" "$cli" --drive "c=$scratch/c" \
      --program-dir "$scratch/c/prog" batch --no-backup --data 'c:\datos' \
      --json "$scratch/report.json" \
      >"$scratch/batch.log" 2>&1 || status=$?
    batch_s=$(calc "$(now) - $start")
    if ((status != 0)); then
      echo "batch ended with status $status; see $scratch/batch.log and report.json" >&2
    fi

    floor_s=$(/usr/bin/time -v -o "$scratch/floor.time" "$build/bench/actualiz-bench-floor" \
      "$scratch/c/prog/modelos/db0000.mdb" "$scratch"/floor/*.mdb)

    same=no
    if cmp -s <("$cli" describe --system "$scratch/c/datos/db0000.mdb") \
      <("$cli" describe --system "$scratch/floor/db0000.mdb"); then
      same=yes
    fi

    batch_ms=$(calc "1000 * $batch_s / $n")
    floor_ms=$(calc "1000 * $floor_s / $n")
    printf '%-7s %-6s %14.2f %14.2f %7.2f %14.2f %14.2f %15.1f %5s\n' "$rows" "$n" "$batch_ms" \
      "$floor_ms" "$(calc "$batch_ms / $floor_ms")" \
      "$(calc "1000 * $(cpu_s "$scratch/batch.time") / $n")" \
      "$(calc "1000 * $(cpu_s "$scratch/floor.time") / $n")" \
      "$(calc "$(peak_kib "$scratch/batch.time") / 1024")" "$same" | tee -a "$results"
    ((keep)) || rm -rf "$scratch"
  done
done
