#!/bin/sh
# A one-machine Slurm cluster on this machine, for trying ostrel-farm and for
# its tests: a munge daemon with a key of its own, slurmctld and one slurmd
# on loopback ports, all in one folder (their configuration, key, sockets,
# state, spool, logs and process ids), started by hand as root (Slurm's
# daemons want root to run a job as its user; there is no systemd unit here).
#
#   tools/slurm-cluster.sh start [DIR]   starts it (default DIR: /tmp/ostrel-slurm)
#                                        and prints the line to use it:
#                                        export SLURM_CONF=DIR/slurm.conf
#   tools/slurm-cluster.sh stop [DIR]    stops what start started there
#
# The node offers this machine's processors in one partition, "ostrel".
# Ports: the first free pair from 6817 up (OSTREL_SLURM_PORT sets the first
# one tried). Status 0 when the node answers idle, 1 otherwise (with the log
# to read); start on a folder whose cluster runs already only prints the line.
set -eu
me="slurm-cluster.sh"
action="${1:-}"
dir="${2:-/tmp/ostrel-slurm}"
case "$action" in
  start|stop) ;;
  *) echo "usage: $me start|stop [DIR]" >&2; exit 2 ;;
esac
case "$dir" in /*) ;; *) dir="$(pwd)/$dir" ;; esac
# Nothing to stop where nothing was started.
[ "$action" = start ] || [ -f "$dir/slurm.conf" ] || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "$me: the Slurm and munge daemons must be started as root (this is user $(id -un)): run it with sudo" >&2
  exit 1
fi

# Stops the process whose id the file holds, if it runs, and waits for it.
stop_pid() {
  [ -f "$1" ] || return 0
  pid=$(cat "$1" 2>/dev/null || true)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    n=0
    while kill -0 "$pid" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$1"
}

running() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

if [ "$action" = stop ]; then
  [ -d "$dir" ] || exit 0
  # The jobs' processes end with slurmd (linuxproc tracks them by parent).
  if running "$dir/slurmctld.pid" && [ -f "$dir/slurm.conf" ]; then
    SLURM_CONF="$dir/slurm.conf" scancel --full --quiet --user=root >/dev/null 2>&1 || true
  fi
  stop_pid "$dir/slurmd.pid"
  stop_pid "$dir/slurmctld.pid"
  stop_pid "$dir/munged.pid"
  exit 0
fi

for program in munged slurmctld slurmd sbatch sinfo; do
  if ! command -v $program >/dev/null 2>&1 && [ ! -x /usr/sbin/$program ]; then
    echo "$me: $program is not installed (Debian: apt-get install slurm-wlm munge)" >&2
    exit 1
  fi
done
PATH="$PATH:/usr/sbin"
if running "$dir/slurmctld.pid" && running "$dir/slurmd.pid" && running "$dir/munged.pid"; then
  echo "export SLURM_CONF=$dir/slurm.conf"
  exit 0
fi
"$0" stop "$dir"
mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
chmod 700 "$dir/munge"

# Two free loopback ports in a row.
port_free() { ! ss -Htan 2>/dev/null | awk '{print $4}' | grep -q ":$1\$"; }
port=${OSTREL_SLURM_PORT:-6817}
while ! port_free $port || ! port_free $((port + 1)); do
  port=$((port + 2))
  [ $port -lt 7900 ] || { echo "$me: no two free ports between 6817 and 7900" >&2; exit 1; }
done

key="$dir/munge/munge.key"
[ -f "$key" ] || { head -c 1024 /dev/urandom > "$key"; chmod 400 "$key"; }
socket="$dir/munge/munge.socket"
munged --key-file="$key" --socket="$socket" --pid-file="$dir/munged.pid" \
  --log-file="$dir/munged.log" --seed-file="$dir/munge/munge.seed" --force

host=$(hostname -s)
cpus=$(nproc)
cat > "$dir/slurm.conf" <<EOF
# A one-machine cluster made by tools/slurm-cluster.sh.
ClusterName=ostrel
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
MpiDefault=none
ReturnToService=2
SlurmdTimeout=30
InactiveLimit=0
MinJobAge=300
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=ostrel Nodes=$host Default=YES MaxTime=INFINITE State=UP OverSubscribe=NO
EOF
export SLURM_CONF="$dir/slurm.conf"
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"

# The node idle within a few seconds.
n=0
while [ $n -lt 60 ]; do
  state=$(sinfo -h -N -o %t 2>/dev/null | head -n 1 || true)
  case "$state" in
    idle*|mix*|alloc*) echo "export SLURM_CONF=$SLURM_CONF"; exit 0 ;;
  esac
  sleep 0.5
  n=$((n + 1))
done
echo "$me: the node did not come up idle within 30 s (state \"${state:-none}\"); see $dir/slurmctld.log and $dir/slurmd.log" >&2
"$0" stop "$dir"
exit 1
