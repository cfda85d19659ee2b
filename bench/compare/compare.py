"""The program, the untuned liblinphone floor (a bare core loop on the same
SIP stack) and baresip side by side, each registered to the same demo SIP
peer, and the program of an earlier build beside them when one is given.
Run by run_compare_bench.sh, which starts the display, the demo service and
the peer first.

Footprint (one run each, registered and idle, before any call, measured from
outside as a process monitor would): resident memory, proportional set size,
CPU over the idle period, threads, wake-ups per second (context switches of
all threads), and where every resident megabyte is (each mapping of
/proc/PID/smaps in one of: the executable's text, read-only data and data,
each shared library, the heap, thread stacks, other anonymous memory).
Timings (medians of RUNS runs): process start to registered, core creation,
command to call answered."""
import argparse
import json
import os
import re
import socket
import statistics
import subprocess
import sys
import time
from datetime import datetime

HZ = os.sysconf("SC_CLK_TCK")
# The account the demo service grants, which the peer accepts.
USER, PASSWORD = "cliente1001", "sip-demo-1001"


def fail(text):
    sys.exit(f"bench: {text}")


def wait_for(pred, seconds=20, what="an event"):
    limit = time.time() + seconds
    while time.time() < limit:
        value = pred()
        if value:
            return value
        time.sleep(0.02)
    fail(f"gave up waiting for {what}")


# --- the peer's message log: when it answered whom ----------------------
STAMP = re.compile(r"^-{10,} (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+)$", re.M)


def peer_events(path):
    """(time, direction, first line, text) of each message the peer logged."""
    try:
        text = open(path, encoding="latin-1").read()
    except OSError:
        return []
    marks = list(STAMP.finditer(text))
    events = []
    for i, mark in enumerate(marks):
        end = marks[i + 1].start() if i + 1 < len(marks) else len(text)
        body = text[mark.end():end]
        when = datetime.strptime(mark.group(1), "%Y-%m-%d %H:%M:%S.%f").timestamp()
        lines = [l for l in body.strip("\n").split("\n")]
        if not lines:
            continue
        direction = "sent" if "message sent" in lines[0] else "received"
        first = next((l for l in lines[1:] if l.strip()), "")
        events.append((when, direction, first, body))
    return events


# Every subject registers the same account, one after the other: the first
# event after a subject's start is its own.
def registered_at(path, since):
    """When the peer first accepted a REGISTER after `since`."""
    for when, direction, first, body in peer_events(path):
        if (when >= since and direction == "sent" and first.startswith("SIP/2.0 200")
                and re.search(r"CSeq: \d+ REGISTER", body)):
            return when
    return None


def ack_at(path, since):
    for when, direction, first, body in peer_events(path):
        if when >= since and direction == "received" and first.startswith("ACK "):
            return when
    return None


# --- a process seen from outside ------------------------------------------
def cpu_ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def switches(pid):
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            for line in open(f"/proc/{pid}/task/{tid}/status"):
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def kb_field(path, name):
    for line in open(path):
        if line.startswith(name + ":"):
            return int(line.split()[1])
    return 0


def dump_maps(pid, path):
    with open(path, "w") as out:
        out.write(open(f"/proc/{pid}/smaps").read())


def smaps_entries(text):
    """(start, end, permissions, path, {field: kB}) of each mapping."""
    entries = []
    for line in text.splitlines():
        parts = line.split()
        if parts and "-" in parts[0] and not parts[0].endswith(":"):
            start, end = (int(x, 16) for x in parts[0].split("-"))
            entries.append((start, end, parts[1], " ".join(parts[5:]), {}))
        elif parts and parts[0].endswith(":") and entries and len(parts) >= 2 and parts[1].isdigit():
            entries[-1][4][parts[0][:-1]] = int(parts[1])
    return entries


def breakdown(text, exe):
    """{part: [PSS kB, RSS kB]}: every mapping of an smaps text in its part.
    A thread's stack sits right above its guard page (an inaccessible
    anonymous mapping); a malloc arena of a thread right below its reserve."""
    entries = smaps_entries(text)
    parts = {}
    for i, (start, end, perms, path, kb) in enumerate(entries):
        below = entries[i - 1] if i else None
        above = entries[i + 1] if i + 1 < len(entries) else None
        if path == exe:
            name = {"r-x": "program: text", "rw-": "program: data"}.get(perms[:3],
                                                                       "program: read-only data")
        elif path.startswith("/"):
            name = os.path.basename(path)
        elif path in ("[heap]", "[stack]"):
            name = {"[heap]": "heap (main arena)", "[stack]": "stacks of threads"}[path]
        elif path.startswith("["):
            name = "kernel's (vdso, vvar)"
        elif below and not below[3] and below[2].startswith("---") and below[1] == start:
            name = "stacks of threads"
        elif above and not above[3] and above[2].startswith("---") and above[0] == end:
            name = "heap (threads' arenas)"
        else:
            name = "other anonymous memory"
        entry = parts.setdefault(name, [0, 0])
        entry[0] += kb.get("Pss", 0)
        entry[1] += kb.get("Rss", 0)
    return parts


def memory_parts(pid):
    """The breakdown of a running process, and how many files it maps."""
    text = open(f"/proc/{pid}/smaps").read()
    return breakdown(text, os.path.realpath(f"/proc/{pid}/exe")), len(
        {e[3] for e in smaps_entries(text) if e[3].startswith("/")})


def footprint(pid, idle):
    """Registered and idle: figures over `idle` seconds from now."""
    t0, s0, w0 = cpu_ticks(pid), switches(pid), time.time()
    time.sleep(idle)
    t1, s1, w1 = cpu_ticks(pid), switches(pid), time.time()
    return {
        "rss": kb_field(f"/proc/{pid}/status", "VmRSS") / 1024,
        "pss": kb_field(f"/proc/{pid}/smaps_rollup", "Pss") / 1024,
        "cpu": 100 * (t1 - t0) / HZ / (w1 - w0),
        "threads": len(os.listdir(f"/proc/{pid}/task")),
        "wakeups": (s1 - s0) / (w1 - w0),
    }


def stop(proc):
    if proc.poll() is None:
        proc.kill()
    proc.wait()


# --- the three subjects ----------------------------------------------------
def program_footprint(a, build, label):
    """The program of `build`, logged in on the call screen, driven like a user."""
    run = os.path.join(a.work, f"{label}-idle")
    os.makedirs(os.path.join(run, "home"))
    out = open(os.path.join(run, "out.log"), "w")
    env = dict(os.environ, HOME=os.path.join(run, "home"), DRAVIK_TIRN_TEST_SERVICE=a.service)
    proc = subprocess.Popen([os.path.join(build, "tests/e2e/dravik-tirn-e2e")], cwd=run,
                            env=env, stdout=out, stderr=subprocess.STDOUT)
    try:
        window = subprocess.run(["timeout", "20", "xdotool", "search", "--sync", "--onlyvisible",
                                 "--name", r"^Dravik Tirn 1\.1$"], capture_output=True,
                                text=True).stdout.split()
        if not window:
            fail("the program's window did not appear")
        w = window[0]
        for args in (["key", "Tab"], ["type", "1001"], ["key", "Tab"], ["type", "demo123"],
                     ["key", "Return"]):
            subprocess.run(["xdotool", args[0], "--window", w, args[1]], stderr=subprocess.DEVNULL)
        log = os.path.join(run, "out.log")
        wait_for(lambda: "LinphoneRegistrationOk para" in open(log, encoding="latin-1").read(),
                 what="the program's registration")
        time.sleep(2)  # let the registration's own work settle
        figures = footprint(proc.pid, a.idle)
        figures["maps"] = memory_parts(proc.pid)
        if os.environ.get("KEEP_SMAPS"):
            dump_maps(proc.pid, os.environ["KEEP_SMAPS"] + "." + label)
        return figures
    finally:
        stop(proc)


def floor_footprint(a):
    run = os.path.join(a.work, "floor-idle")
    os.makedirs(os.path.join(run, "data"))
    since = time.time()
    proc = subprocess.Popen([os.path.join(a.build, "bench/sip/sip_bench_floor"), a.addr, USER,
                             PASSWORD, str(a.idle + 10), run + "/data/"],
                            env=dict(os.environ, HOME=run), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: registered_at(a.peer_log, since), what="the floor's registration")
        time.sleep(2)
        figures = footprint(proc.pid, a.idle)
        figures["maps"] = memory_parts(proc.pid)
        if os.environ.get("KEEP_SMAPS"):
            dump_maps(proc.pid, os.environ["KEEP_SMAPS"] + ".floor")
        return figures
    finally:
        stop(proc)


def netstring(command, params=""):
    body = json.dumps({"command": command, "params": params, "token": command}).encode()
    return str(len(body)).encode() + b":" + body + b","


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def baresip_run(a, n, idle):
    """One baresip run: start to registered, optionally the idle footprint,
    then the dial command to the ACK the peer receives."""
    run = os.path.join(a.work, f"baresip{n}")
    os.makedirs(os.path.join(run, "cfg"))
    ctrl = free_port()
    with open(os.path.join(run, "cfg/config"), "w") as f:
        # The loopback interface named: in a namespace of loopback only
        # (tests/isolated runs) baresip finds no local address otherwise.
        f.write("poll_method\t\tepoll\n"
                "net_interface\t\t127.0.0.1\n"
                "sip_listen\t\t127.0.0.1:0\n"
                "module_path\t\t/usr/lib/baresip/modules\n"
                "module\t\t\tg711.so\n"
                "module\t\t\talsa.so\n"
                "module_app\t\taccount.so\n"
                "module_app\t\tmenu.so\n"
                "module\t\t\tctrl_tcp.so\n"
                f"ctrl_tcp_listen\t\t127.0.0.1:{ctrl}\n"
                "audio_player\t\talsa,default\n"
                "audio_source\t\talsa,default\n"
                "audio_alert\t\talsa,default\n")
    with open(os.path.join(run, "cfg/accounts"), "w") as f:
        f.write(f"<sip:{USER}@{a.addr}>;auth_pass={PASSWORD};regint=3600\n")
    start = time.time()
    proc = subprocess.Popen(["baresip", "-f", os.path.join(run, "cfg")], cwd=run,
                            env=dict(os.environ, HOME=run), stdin=subprocess.DEVNULL,
                            stdout=open(os.path.join(run, "out.log"), "w"),
                            stderr=subprocess.STDOUT)
    try:
        registered = wait_for(lambda: registered_at(a.peer_log, start),
                              what="baresip's registration")
        result = {"register_ms": 1000 * (registered - start)}
        if idle:
            time.sleep(2)
            result.update(footprint(proc.pid, idle))
            result["maps"] = memory_parts(proc.pid)
        sock = wait_for(lambda: _connect(ctrl), what="baresip's control port")
        sent = time.time()
        sock.sendall(netstring("dial", f"sip:fila@{a.addr}"))
        acked = wait_for(lambda: ack_at(a.peer_log, sent), what="baresip's ACK")
        result["call_ms"] = 1000 * (acked - sent)
        sock.sendall(netstring("hangup"))
        sock.sendall(netstring("quit"))
        sock.close()
        return result
    finally:
        stop(proc)


def _connect(port):
    try:
        return socket.create_connection(("127.0.0.1", port), timeout=2)
    except OSError:
        return None


def numbers(cmd, env, cwd=None, stream="stderr"):
    """The figures a benchmark program prints on `stream`."""
    pipe, drop = subprocess.PIPE, subprocess.DEVNULL
    done = subprocess.run(cmd, env=env, cwd=cwd, text=True, stdout=pipe if stream == "stdout"
                          else drop, stderr=pipe if stream == "stderr" else drop)
    if done.returncode != 0:
        fail(f"{os.path.basename(cmd[0])} failed")
    return [float(x) for x in getattr(done, stream).split()]


def program_timings(a, build, run, rows):
    """One run of the program of `build`: exec to window, the whole program's
    steps, the SIP code alone."""
    for sub in ("home", "sip"):
        os.makedirs(os.path.join(run, sub))
    env = dict(os.environ, HOME=os.path.join(run, "home"))
    rows["window"].append(numbers([os.path.join(build, "bench/app/map-timer"),
                                   "Dravik Tirn 1.1", os.path.join(build, "app/dravik-tirn")],
                                  env, cwd=run, stream="stdout")[0])
    rows["app"].append(numbers([os.path.join(build, "bench/app/app_bench"), a.service], env, cwd=run))
    rows["sip"].append(numbers([os.path.join(build, "bench/sip/sip_bench_program"), a.addr,
                                USER, PASSWORD, "0.5"],
                               dict(os.environ, HOME=os.path.join(run, "sip"))))


def timing_runs(a):
    """Alternating runs of the program (each build), the floor and baresip
    (same load)."""
    rows = {"program": {"window": [], "app": [], "sip": []},
            "before": {"window": [], "app": [], "sip": []},
            "floor": [], "floor_reg": [], "baresip": []}
    for i in range(a.runs):
        run = os.path.join(a.work, f"run{i}")
        os.makedirs(os.path.join(run, "floor/data"))
        program_timings(a, a.build, os.path.join(run, "program"), rows["program"])
        if a.before:
            program_timings(a, a.before, os.path.join(run, "before"), rows["before"])
        since = time.time()
        rows["floor"].append(numbers([os.path.join(a.build, "bench/sip/sip_bench_floor"), a.addr,
                                      USER, PASSWORD, "0.5", os.path.join(run, "floor/data/")],
                                     dict(os.environ, HOME=os.path.join(run, "floor"))))
        reg = registered_at(a.peer_log, since)
        rows["floor_reg"].append(1000 * (reg - since) if reg else float("nan"))
        rows["baresip"].append(baresip_run(a, i, 0))
    return rows


def main():
    p = argparse.ArgumentParser()
    for name in ("build", "work", "service", "addr", "peer-log"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--idle", type=float, default=20)
    p.add_argument("--before", help="build folder of an earlier build of the program")
    a = p.parse_args()

    print(f"bench: {a.runs} timing runs, then {a.idle:g} s idle for each footprint", file=sys.stderr)
    t = timing_runs(a)
    subjects = [("program", program_footprint(a, a.build, "program"))]
    if a.before:
        subjects.append(("before", program_footprint(a, a.before, "before")))
    subjects += [("floor", floor_footprint(a)), ("baresip", baresip_run(a, "-idle", a.idle))]
    fig = dict(subjects)

    med = statistics.median
    # app_bench: main to window, Enter to call screen, Enter to registered, "Sim" to connected.
    # sip_bench_*: set-up, set-up to registered, invite to connected, idle CPU, RSS.
    for label in ("program", "before"):
        p = t[label]
        if p["app"]:
            fig[label].update(register=med(p["window"]) + med(r[2] for r in p["app"]),
                              setup=med(r[0] for r in p["sip"]), call=med(r[3] for r in p["app"]))
    fig["floor"].update(register=med(t["floor_reg"]), setup=med(r[0] for r in t["floor"]),
                        call=med(r[2] for r in t["floor"]))
    fig["baresip"].update(register=med(r["register_ms"] for r in t["baresip"]), setup=None,
                          call=med(r["call_ms"] for r in t["baresip"]))
    rows = [
        ("resident memory, RSS (MB)", "rss", "%.1f"),
        ("proportional set size, PSS (MB)", "pss", "%.1f"),
        (f"idle CPU over {a.idle:g} s (% of a core)", "cpu", "%.2f"),
        ("threads", "threads", "%d"),
        ("wake-ups per second (context switches)", "wakeups", "%.0f"),
        ("process start to registered (ms)", "register", "%.0f"),
        ("core creation + account set-up (ms)", "setup", "%.1f"),
        ("command to call answered / ACK (ms)", "call", "%.1f"),
    ]
    labels = [label for label, _ in subjects]
    ratios = [label for label in ("program", "before") if label in labels]
    print(f"registered and idle, before any call; timings are medians of {a.runs} runs")
    print("floor: a bare liblinphone core loop on the program's SIP stack, untuned"
          + ("; before: the earlier build" if a.before else ""))
    print(f"{'figure':42}" + "".join(f" {l:>9}" for l in labels) +
          "".join(f" {l[:4] + '/floor':>11}" for l in ratios))
    for name, key, fmt in rows:
        cell = lambda v: f"{fmt % v:>9}" if v is not None else f"{'-':>9}"
        line = f"{name:42}" + "".join(f" {cell(fig[l][key])}" for l in labels)
        for l in ratios:
            v, f = fig[l][key], fig["floor"][key]
            line += f"{v / f:10.2f}x" if v is not None and f else f"{'':>11}"
        print(line)
    print("goals: program RSS <= 15 MB, start to registered and command to answered no worse")
    print("  than before, idle CPU <= 1.00x floor")
    print("process start to registered: program = exec to login window + Enter to registered")
    print("  (no typing time); floor and baresip = exec to the peer's 200 OK")
    print("command to answered: program \"Sim\" and floor invite to the Connected state (the ACK")
    print("  goes out with it); baresip dial command to the ACK logged by the peer")
    for label, figures in subjects:
        parts, files = figures["maps"]
        print(f"\nwhere the {label}'s memory is ({files} mapped files), MB:")
        print(f"{'PSS':>7} {'RSS':>7}  part")
        for name, (pss, rss) in sorted(parts.items(), key=lambda kv: -kv[1][1]):
            if rss:
                print(f"{pss / 1024:7.2f} {rss / 1024:7.2f}  {name}")
        print(f"{sum(v[0] for v in parts.values()) / 1024:7.2f} "
              f"{sum(v[1] for v in parts.values()) / 1024:7.2f}  total")


if __name__ == "__main__":
    main()
