#!/usr/bin/env bash
# Where the time of one LM request goes, per thread: runs the headless logger against the
# simulated LM for a few seconds under the kernel's tracer (system calls and scheduler
# wake-ups of the program's threads) and prints the median and mean of each step of an
# exchange: the request's write, the output queue seen empty (its transmit-empty), the echo
# and the answer waking the thread that reads them, the hand-over to the window thread where there is one, and
# the next request's write. Needs root (tracefs) and a built build directory.
# Usage: scripts/exchange-timeline.sh [build-dir] [seconds (default 3)]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages python3

build_dir=$(realpath "${1:-build}")
seconds=${2:-3}
tracefs=/sys/kernel/tracing
[ -w "$tracefs/trace" ] || { echo "needs root and $tracefs" >&2; exit 1; }

folder=$(mktemp -d /tmp/tessek-timeline-XXXXXX)
sim=""
cleanup() {
  echo 0 > "$tracefs/tracing_on" || true
  echo > "$tracefs/set_event" || true
  echo > "$tracefs/set_event_pid" || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT

cp "$build_dir/bin/tessek" "$folder/"
"$build_dir/bin/tessek-lmsim" --quiet > "$folder/sim.txt" &
sim=$!
for _ in $(seq 50); do
  [ -s "$folder/sim.txt" ] && break
  sleep 0.1
done
port=$(head -1 "$folder/sim.txt")
printf '[ComPort]\nPort=%s\n[CurrentSet]\n1=8F\n2=69\n3=86\n4=9A\n5=98\n6=A0\n7=72\n8=9C\n' "$port" \
  > "$folder/Tessek.ini"

echo 0 > "$tracefs/tracing_on"
echo > "$tracefs/trace"
echo 16384 > "$tracefs/buffer_size_kb"
echo 1 > "$tracefs/options/event-fork"
echo > "$tracefs/set_event"
for call in write read poll ppoll epoll_wait ioctl; do
  echo "syscalls:sys_enter_$call" >> "$tracefs/set_event"
  echo "syscalls:sys_exit_$call" >> "$tracefs/set_event"
done
echo sched:sched_wakeup >> "$tracefs/set_event"
# The shell traces itself from here and becomes the program (threads follow: event-fork).
sh -c "echo \$\$ > $tracefs/set_event_pid; echo 1 > $tracefs/tracing_on; \
       exec $folder/tessek --log --seconds $seconds --quiet"
echo 0 > "$tracefs/tracing_on"
cat "$tracefs/trace" > "$folder/trace.txt"

python3 - "$folder/trace.txt" <<'EOF'
import bisect, re, statistics, sys
from collections import Counter

line_re = re.compile(r'^\s*(\S+)-(\d+)\s+\[\d+\]\s+\S+\s+([\d.]+): (.*)$')
events = []
for line in open(sys.argv[1]):
    m = line_re.match(line)
    if m and (m.group(1).startswith('tessek') or m.group(4).startswith('sched_wakeup')):
        events.append((float(m.group(3)) * 1e3, m.group(1), int(m.group(2)), m.group(4)))

def fd_of(rest):
    return re.search(r'fd: (\w+)', rest).group(1)

# The window thread writes the one-byte requests; that write's descriptor is the device.
ours = [e for e in events if e[1].startswith('tessek')]
writers = Counter((pid, fd_of(rest)) for _, _, pid, rest in ours
                  if rest.startswith('sys_write(') and rest.endswith('count: 1)'))
(window, device), _ = writers.most_common(1)[0]
requests = [t for t, _, pid, rest in ours
            if pid == window and rest.startswith(f'sys_write(fd: {device},') and rest.endswith('count: 1)')]
wakes, reads, posts, emptied, reading, asking = {}, [], [], [], {}, set()
for t, comm, pid, rest in events:
    if rest.startswith('sched_wakeup:'):
        wakes.setdefault(int(re.search(r' pid=(\d+)', rest).group(1)), []).append(t)
    elif not comm.startswith('tessek'):
        continue
    elif rest.startswith(f'sys_read(fd: {device},'):
        reading[pid] = t
    elif rest.startswith('sys_read ->') and pid in reading:
        del reading[pid]
        if int(rest.split('->')[1], 16) > 0:
            reads.append((t, pid))
    elif rest.startswith('sys_write(') and rest.endswith('count: 8)'):
        posts.append((t, pid))  # an eventfd: a wake-up of the window thread
    elif rest.startswith(f'sys_ioctl(fd: {device}, cmd: 0x5411,'):  # TIOCOUTQ
        asking.add(pid)
    elif rest.startswith('sys_ioctl ->') and pid in asking:
        asking.discard(pid)
        if int(rest.split('->')[1], 16) == 0:
            emptied.append(t)

def woken(pid, t, after=False):
    times = wakes.get(pid, [])
    i = bisect.bisect_right(times, t) - (0 if after else 1)
    return times[i] if 0 <= i < len(times) else None

rows = []
for start, end in zip(requests, requests[1:]):
    got = [r for r in reads if start < r[0] < end]
    if len(got) != 2:
        continue  # not one echo and one answer: a sample's first request after a pause, or the end
    (echo_read, echo_pid), (answer_read, answer_pid) = got
    echo_woken, answer_woken = woken(echo_pid, echo_read), woken(answer_pid, answer_read)
    empty = next((t for t in emptied if start < t < end), start)
    row = {'write -> output seen empty': empty - start,
           'write -> echo woken': echo_woken - start,
           'echo woken -> answer woken': answer_woken - echo_woken,
           'answer woken -> answer read': answer_read - answer_woken}
    if answer_pid != window:
        post = next((t for t, pid in posts if answer_read <= t < end and pid == answer_pid), None)
        if post is None:
            continue
        window_woken = woken(window, post, after=True)
        row['answer read -> hand-over posted'] = post - answer_read
        row['posted -> window thread woken'] = window_woken - post
        row['window thread woken -> next write'] = end - window_woken
    else:
        row['answer read -> next write'] = end - answer_read
    row['answer woken -> next write'] = end - answer_woken
    row['write -> next write'] = end - start
    rows.append(row)
if not rows:
    sys.exit('no complete exchange in the trace')
print(f'{len(rows)} exchanges; the echo and answer are read by the '
      + ('window thread' if 'answer read -> next write' in rows[0] else 'event thread'))
for key in rows[0]:
    values = [r[key] for r in rows if key in r]
    print(f'  {key:36} median {statistics.median(values):6.3f} ms   mean {statistics.mean(values):6.3f} ms')
EOF
