"""The voice benchmark's runs and table (started by run_voice_bench.sh, which
starts the private sound server first). For each client, condition and
codec, RUNS calls to sipp answering with -rtp_echo behind the impairment
relay: the microphone is fed the reference speech, the loudspeaker is
recorded beside it, the client's RTP is captured as it left. In the
conditions talk and speaker the queue speaks with a voice of its own
instead (the relay puts it in place of the echo), and with speaker the
loudspeaker reaches the microphone 10 dB down, as from a desk speaker."""
import argparse
import os
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import voice_analysis as va  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PEER, RELAY = "127.0.0.48", "127.0.0.49"
BARESIP_ADDR = "127.0.0.50"
ECHO_PORT, RELAY_PORT = 6000, 4000
USER, PASSWORD = "cliente1001", "sip-demo-1001"
CODECS = {"PCMU": ("PCMU", "/8000", 8000), "opus": ("opus", "/48000/2", 16000)}
NAN = float("nan")
SETTLE, TAIL = 1.0, 2.0  # seconds of call before the speech and after it
FAR_END = ("talk", "speaker")  # conditions where the queue speaks, not echoes
ACOUSTIC_ECHO = "-10dB"  # loudspeaker to microphone, in the speaker condition


def fail(text):
    sys.exit(f"voice bench: {text}")


def wait_for(pred, seconds, what):
    limit = time.time() + seconds
    while time.time() < limit:
        if pred():
            return
        time.sleep(0.05)
    raise TimeoutError(what)


def udp_bound(addr, port):
    want = "%02X%02X%02X%02X:%04X" % tuple(list(map(int, addr.split(".")))[::-1] + [port])
    return any(f" {want} " in line for line in open("/proc/net/udp"))


def scenario(work, codec):
    """The queue's scenario for CODEC, from voice_peer.xml."""
    name, rate, _ = CODECS[codec]
    lines = []
    for line in open(os.path.join(HERE, "voice_peer.xml"), encoding="latin-1"):
        if line.rstrip().endswith(("opus-only", "<!-- opus-only -->")):
            if codec == "PCMU":
                continue
            line = line.replace(" <!-- opus-only -->", "").replace(" opus-only", "")
        # PCMU's payload type is fixed; Opus takes the one of the offer.
        pt = "0" if codec == "PCMU" else "[$pt]"
        lines.append(line.replace("@CODEC@", name).replace("@RATE@", rate).replace("@PT@", pt))
    path = f"{work}/peer-{codec}.xml"
    open(path, "w", encoding="latin-1").writelines(lines)
    return path


def baresip_config(work, kind):
    """baresip with its own PulseAudio module (client baresip), or through
    ALSA's PulseAudio plugin (client baresip-alsa), on the bench's sink and
    microphone."""
    home = f"{work}/baresip"
    os.makedirs(home, exist_ok=True)
    driver = "alsa" if kind == "baresip-alsa" else "pulse"
    play, source = ("pulse", "pulse") if driver == "alsa" else ("bench", "mic")
    modules = "".join(f"module {m}.so\n" for m in [driver, "g711", "opus", "account", "menu"])
    open(f"{home}/config", "w").write(
        f"sip_listen {BARESIP_ADDR}:5062\nnet_interface {BARESIP_ADDR}\n"
        f"audio_player {driver},{play}\naudio_source {driver},{source}\n"
        f"audio_alert {driver},{play}\n"
        "module_path /usr/lib/baresip/modules\n" + modules
    )
    open(f"{home}/accounts", "w").write(
        f"<sip:{USER}@{PEER}>;regint=0;audio_codecs=opus/48000/2,PCMU\n")
    open(f"{home}/contacts", "w").write("")
    return home


def client_command(kind, args, work, hold):
    if kind in ("program", "noec", "before"):
        binary = args.before if kind == "before" else f"{args.build}/bench/sip/sip_bench_program"
        return [binary, PEER, USER, PASSWORD, "0", str(hold)] + (["noec"] if kind == "noec" else [])
    if kind == "floor":
        data = f"{work}/floor-data/"
        os.makedirs(data, exist_ok=True)
        return [f"{args.build}/bench/sip/sip_bench_floor", PEER, USER, PASSWORD, "0", data,
                str(hold)]
    return ["baresip", "-f", baresip_config(work, kind), "-e", f"/dial sip:fila@{PEER}"]


def one_run(kind, condition, codec, run, args, reference, seconds):
    work = f"{args.work}/{kind}-{condition}-{codec}-{run}"
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, HOME=f"{args.work}/home-{kind}", XDG_DATA_HOME="",
               PULSE_SINK="bench", PULSE_SOURCE="mic")
    env.pop("XDG_DATA_HOME")
    os.makedirs(env["HOME"], exist_ok=True)
    owned = ["setpriv", "--pdeathsig", "KILL"]
    procs = []
    loopback = None

    def start(cmd, out, **kw):
        p = subprocess.Popen(owned + cmd, stdout=open(out, "wb"), stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, cwd=work, env=env, **kw)
        procs.append(p)
        return p

    try:
        sipp = start(["sipp", "-sf", scenario(work, codec), "-i", PEER, "-p", "5060", "-mi", PEER,
                      "-mp", str(ECHO_PORT), "-rtp_echo", "-nostdin", "-key", "relay_addr", RELAY,
                      "-key", "relay_port", str(RELAY_PORT), "-trace_msg", "-message_file",
                      f"{work}/sip.msg"], f"{work}/sipp.log")
        far = [f"{args.work}/far-{codec}.bin"] if condition in FAR_END else []
        start([sys.executable, os.path.join(HERE, "relay.py"), RELAY, str(RELAY_PORT), PEER,
               str(ECHO_PORT), condition, f"{work}/sent.rtp", f"{work}/ready", str(run)] + far,
              f"{work}/relay.log")
        wait_for(lambda: udp_bound(PEER, 5060) and udp_bound(RELAY, RELAY_PORT), 10,
                 "the queue and the relay")
        parec = start(["parec", "-d", "bench.monitor", "--rate=48000", "--channels=2",
                       "--no-remap", "--format=s16le", "--raw", "--latency-msec=20"],
                      f"{work}/rec.raw")
        hold = seconds + SETTLE + TAIL + 10
        client = start(client_command(kind, args, work, hold), f"{work}/client.log")
        wait_for(lambda: os.path.exists(f"{work}/ready"), 20, "the client's first RTP packet")
        if condition == "speaker":
            loopback = acoustic_echo(env)
        time.sleep(SETTLE)
        subprocess.run(["paplay", "-d", "micfeed", reference], env=env, check=True)
        time.sleep(TAIL)
        parec.send_signal(signal.SIGINT)
        parec.wait(5)
        if kind.startswith("baresip"):
            client.send_signal(signal.SIGTERM)
            try:
                client.wait(5)
            except subprocess.TimeoutExpired:
                pass
        del sipp
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
            p.wait()
        if loopback is not None:
            subprocess.run(["pactl", "unload-module", loopback], env=env, check=False)
    _, reference_signal = va.read_wav(reference)
    recording = va.read_recording(f"{work}/rec.raw")
    rate = CODECS[codec][2]
    figures = {"delay_median": NAN, "delay_max": NAN, "similarity": NAN,
               "window_similarity": NAN, "dropouts": NAN}
    if condition != "quiet" and condition not in FAR_END:
        figures = va.echo_figures(recording, reference_signal, rate)
    sent = va.decode_sent(f"{work}/sent.rtp", codec, rate)
    figures["send_similarity"], figures["send_windows"] = va.send_figures(reference_signal, sent,
                                                                           rate)
    figures["clipped"] = va.clipped(sent)
    figures["fills"] = va.buffer_fills(f"{work}/client.log")
    figures["wire"] = va.wire_mode(f"{work}/sent.rtp", codec)
    return figures


def playback_streams(env):
    """Indexes of the clients' playback streams (the sound server's own
    modules' streams left out)."""
    out = subprocess.run(["pactl", "list", "short", "sink-inputs"], env=env, check=True,
                         capture_output=True, text=True).stdout
    return [f[0] for f in (line.split() for line in out.splitlines())
            if len(f) > 3 and f[3] == "protocol-native.c"]


def acoustic_echo(env):
    """The client's loudspeaker moved to a sink of its own, whose sound
    reaches the microphone ACOUSTIC_ECHO down (a loopback into the
    microphone's channel; looping the recorded sink into itself makes the
    server spin): the loopback's module index, for unloading."""
    wait_for(lambda: playback_streams(env), 10, "the client's loudspeaker")
    for stream in playback_streams(env):
        subprocess.run(["pactl", "move-sink-input", stream, "loud"], env=env, check=True)
    index = subprocess.run(
        ["pactl", "load-module", "module-loopback", "source=loud.monitor", "sink=micfeed",
         "latency_msec=40", "source_dont_move=true", "sink_dont_move=true"],
        env=env, check=True, capture_output=True, text=True).stdout.strip()
    for line in subprocess.run(["pactl", "list", "short", "sink-inputs"], env=env, check=True,
                               capture_output=True, text=True).stdout.splitlines():
        fields = line.split()
        if len(fields) > 3 and fields[3] == "module-loopback.c":  # the only one
            subprocess.run(["pactl", "set-sink-input-volume", fields[0], ACOUSTIC_ECHO], env=env,
                           check=True)
            return index
    subprocess.run(["pactl", "unload-module", index], env=env, check=False)
    raise OSError("the loopback for the acoustic echo has no stream")


def show_logs(work):
    for name in ["client.log", "sipp.log", "relay.log"]:
        try:
            lines = open(f"{work}/{name}", errors="replace").read().splitlines()[-8:]
        except OSError:
            continue
        print(f"--- {name} (last lines)", *lines, sep="\n", file=sys.stderr)


def loadavg():
    return float(open("/proc/loadavg").read().split()[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--clients", default="program,noec,floor,baresip",
                        help="program, noec (the program without echo cancellation), floor, "
                        "baresip (its PulseAudio module), baresip-alsa (through ALSA's "
                        "PulseAudio plugin), before")
    parser.add_argument("--before", help="another build's sip_bench_program, as client 'before'")
    parser.add_argument("--conditions", default="quiet,clean,jitter,burst,talk,speaker")
    parser.add_argument("--codecs", default="PCMU,opus")
    parser.add_argument("--seconds", type=float, default=10.0, help="speech per run")
    args = parser.parse_args()
    reference = f"{args.work}/reference.wav"
    total = va.make_reference(reference, args.work, args.seconds)
    if set(args.conditions.split(",")) & set(FAR_END):
        for codec in args.codecs.split(","):
            va.make_far_end(f"{args.work}/far-{codec}.bin", args.work, codec)
    clients = args.clients.split(",")
    cells = [(c, k, cl) for c in args.conditions.split(",") for k in args.codecs.split(",")
             for cl in clients]
    results = {cell: [] for cell in cells}
    # Interleaved: each round runs every cell once, so that the machine's
    # load changes alike for all of them. Each run's load (1 min average,
    # the larger of before and after it) is kept with its figures.
    for run in range(args.runs):
        for condition, codec, kind in cells:
            before = loadavg()
            try:
                r = one_run(kind, condition, codec, run, args, reference, total)
            except (TimeoutError, subprocess.SubprocessError, OSError, ValueError) as e:
                print(f"{kind} {condition} {codec} run {run + 1}: failed ({e})", file=sys.stderr)
                show_logs(f"{args.work}/{kind}-{condition}-{codec}-{run}")
                continue
            r["load"] = max(before, loadavg())
            r["run"] = run + 1
            results[(condition, codec, kind)].append(r)
            print(f"{kind:8} {condition:7} {codec:5} run {run + 1}: "
                  + " ".join(f"{k}={v:.3f}" if isinstance(v, float) else f"{k}={v}"
                             for k, v in r.items()), file=sys.stderr, flush=True)
    print_table(args, cells, results, total)


def fills_text(fills):
    return ", ".join(f"{k} {v}" for k, v in sorted(fills.items())) if fills else "none logged"


def print_table(args, cells, results, total):
    loads = [r["load"] for rs in results.values() for r in rs]
    print(f"\nVoice benchmark: {args.runs} runs per cell, {total:.1f} s reference each; "
          f"load average (1 min) of the runs {min(loads, default=0):.1f}-{max(loads, default=0):.1f} "
          f"on {os.cpu_count()} cores")
    print("round trip through the echo (ms): median of the runs' medians, largest of any window;"
          "\nsimilarity of the echo to the speech: overall (one lag), in 200 ms windows (each its"
          "\nown lag: mean of the runs, worst run); dropouts (% of 20 ms frames); send path: the"
          "\nclient's own RTP against the microphone's feed (median, worst run; sendw: in 200 ms windows,"
          "\nmean); similarities aligned to 1/8 sample; clip: samples of the sent audio at 0.9 of full"
          "\nscale or more (largest run); fill: the largest fill (ms) of any buffer the library's log"
          "\nnames ('-': none logged; per buffer below); load: the runs' load averages."
          "\ntalk, speaker: the queue speaks, not echoes; speaker: the loudspeaker reaches the"
          "\nmicrophone " + ACOUSTIC_ECHO + "\n")
    head = (f"{'client':12} {'line':7} {'codec':5} {'n':>2} {'rt med':>6} {'rt max':>6} "
            f"{'sim':>5} {'win':>5} {'win<':>5} {'drop%':>5} {'send':>5} {'send<':>5} {'sendw':>5} "
            f"{'clip':>5} {'fill':>5} {'load':>9}")
    print(head)
    print("-" * len(head))

    def med(rs, key):
        vals = [r[key] for r in rs if r[key] is not None]
        return statistics.median(vals) if vals else float("nan")

    for condition, codec, kind in cells:
        rs = results[(condition, codec, kind)]
        if not rs:
            print(f"{kind:12} {condition:7} {codec:5}  0 (every run failed)")
            continue
        fills = [max(r["fills"].values()) for r in rs if r["fills"]]
        print(f"{kind:12} {condition:7} {codec:5} {len(rs):>2} {med(rs, 'delay_median'):6.0f} "
              f"{max(r['delay_max'] for r in rs):6.0f} {med(rs, 'similarity'):5.3f} "
              f"{statistics.mean(r['window_similarity'] for r in rs):5.3f} "
              f"{min(r['window_similarity'] for r in rs):5.3f} "
              f"{statistics.mean(r['dropouts'] for r in rs):5.1f} "
              f"{med(rs, 'send_similarity'):5.3f} {min(r['send_similarity'] for r in rs):5.3f} "
              f"{statistics.mean(r['send_windows'] for r in rs):5.3f} "
              f"{max(r['clipped'] for r in rs):>5} {max(fills) if fills else '-':>5} "
              f"{min(r['load'] for r in rs):4.1f}-{max(r['load'] for r in rs):<4.1f}")

    print("\nCodec on the wire (the client's own RTP: mode, band, channels, frame; payload bit rate)")
    for kind in dict.fromkeys(k for _, _, k in cells):
        for codec in dict.fromkeys(c for _, c, _ in cells):
            modes = {}  # mode -> bit rates (kbit/s) of its runs
            for (_, c, k), rs in results.items():
                for r in rs:
                    if k == kind and c == codec:
                        wire = r["wire"]
                        mode, _, rate = wire.rpartition(" ") if wire.endswith("k") else (wire, "", "")
                        modes.setdefault(mode, []).append(rate.rstrip("k"))
            for mode, rates in sorted(modes.items()):
                numbers = sorted(int(x) for x in rates if x.isdigit())
                span = (f"{numbers[0]}-{numbers[-1]}k" if numbers[0] != numbers[-1]
                        else f"{numbers[0]}k") if numbers else ""
                print(f"  {kind:12} {codec:5} {mode} {span} ({len(rates)} runs)")

    print("\nEach run (load: 1 min average; fill: every buffer the log names, largest ms)")
    for condition, codec, kind in cells:
        for r in results[(condition, codec, kind)]:
            print(f"  {kind:12} {condition:7} {codec:5} run {r['run']} load {r['load']:4.1f}: "
                  f"rt {r['delay_median']:4.0f}/{r['delay_max']:4.0f} win {r['window_similarity']:5.3f} "
                  f"drop {r['dropouts']:4.1f} send {r['send_similarity']:5.3f} "
                  f"sendw {r['send_windows']:5.3f} clip {r['clipped']}; fill: {fills_text(r['fills'])}")


if __name__ == "__main__":
    main()
