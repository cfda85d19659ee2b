"""What a caller hears, measured with numpy: the reference speech (espeak-ng,
between two chirps), the recording of one call (the microphone's feed and,
beside it, the client's loudspeaker: the queue's echo of its own voice), the client's RTP as it left (decoded) and its log."""
import ctypes
import re
import struct
import subprocess
import wave

import numpy as np

RATE = 48000  # the sound server's rate and the reference's
WINDOW = 0.2  # seconds
# Round trip searched between these (seconds): a buffer can grow a lot.
LAG_MIN, LAG_MAX = 0.0, 1.5
SPEECH = ("Bom dia, aqui fala o cliente mil e um. Estou ligando para saber do meu "
          "pedido, que ainda não chegou. O número é quatro, sete, oito, dois.")
# The queue's own voice, for the conditions where it speaks: another text,
# another voice, not correlated with the customer's.
FAR_SPEECH = ("Central de atendimento, boa tarde. Um momento, por favor, estou "
              "verificando o seu pedido no sistema. Obrigada por aguardar na linha.")


def read_wav(path):
    with wave.open(path) as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return w.getframerate(), data.reshape(-1, w.getnchannels())[:, 0] / 32768.0


def write_wav(path, rate, x):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes((np.clip(x, -1, 1) * 32767).astype("<i2").tobytes())


def resample(x, rate_in, rate_out):
    """Band-limited resampling by the spectrum (the signals are short)."""
    if rate_in == rate_out:
        return x
    n_out = int(round(len(x) * rate_out / rate_in))
    spectrum = np.fft.rfft(x)
    keep = min(len(spectrum), n_out // 2 + 1)
    out = np.zeros(n_out // 2 + 1, dtype=complex)
    out[:keep] = spectrum[:keep]
    return np.fft.irfft(out, n_out) * (n_out / len(x))


def chirp(seconds, f0=300.0, f1=3400.0):
    t = np.arange(int(seconds * RATE)) / RATE
    phase = 2 * np.pi * (f0 * t + (f1 - f0) * t * t / (2 * seconds))
    ramp = np.minimum(1, np.minimum(t, seconds - t) / 0.01)
    return 0.3 * np.sin(phase) * ramp


def make_reference(path, work, speech_seconds):
    """Chirp, speech (Brazilian Portuguese, about SPEECH_SECONDS), chirp, at
    RATE, speech at -20 dBFS RMS."""
    raw, resampled = f"{work}/speech-raw.wav", f"{work}/speech-48k.wav"
    subprocess.run(["espeak-ng", "-v", "pt-br", "-s", "150", "-w", raw, SPEECH], check=True)
    subprocess.run(["sox", raw, "-r", str(RATE), "-c", "1", "-b", "16", resampled], check=True)
    _, speech = read_wav(resampled)
    speech = speech[: int(speech_seconds * RATE)]
    speech = speech * (0.1 / np.sqrt(np.mean(speech ** 2)))
    gap = np.zeros(int(0.3 * RATE))
    lead = np.zeros(int(0.2 * RATE))
    signal = np.concatenate([lead, chirp(0.5), gap, speech, gap, chirp(0.5), lead])
    write_wav(path, RATE, signal)
    return len(signal) / RATE


def make_far_end(path, work, codec):
    """The queue's voice as RTP payloads of CODEC (20 ms each; 4-byte length,
    then the payload), then a second of silence, at -20 dBFS RMS."""
    raw = f"{work}/far-raw.wav"
    subprocess.run(["espeak-ng", "-v", "pt-br+f3", "-s", "170", "-w", raw, FAR_SPEECH], check=True)
    rate = 8000 if codec == "PCMU" else RATE
    pcm = f"{work}/far-{rate}.raw"
    subprocess.run(["sox", raw, "-r", str(rate), "-c", "1", "-b", "16", "-e", "signed",
                    "-t", "raw", pcm], check=True)
    x = np.fromfile(pcm, dtype="<i2") / 32768.0
    x = x * (0.1 / np.sqrt(np.mean(x**2)))
    frame = rate // 50
    x = np.concatenate([x, np.zeros(rate + (-len(x)) % frame)])
    pcm16 = np.clip(np.round(x * 32767), -32768, 32767).astype("<i2")
    if codec == "PCMU":
        ulaw = f"{work}/far.ul"
        pcm16.tofile(pcm)
        subprocess.run(["sox", "-t", "raw", "-r", "8000", "-c", "1", "-b", "16", "-e", "signed",
                        pcm, "-t", "raw", "-e", "u-law", ulaw], check=True)
        data = open(ulaw, "rb").read()
        payloads = [data[k : k + frame] for k in range(0, len(data) - frame + 1, frame)]
    else:
        opus = ctypes.CDLL("libopus.so.0")
        opus.opus_encoder_create.restype = ctypes.c_void_p
        err = ctypes.c_int()
        enc = ctypes.c_void_p(opus.opus_encoder_create(RATE, 1, 2048, ctypes.byref(err)))
        opus.opus_encoder_ctl(enc, ctypes.c_int(4002), ctypes.c_int(32000))  # bit rate
        out = (ctypes.c_ubyte * 1500)()
        payloads = []
        for k in range(0, len(pcm16), frame):
            chunk = np.ascontiguousarray(pcm16[k : k + frame])
            n = opus.opus_encode(enc, chunk.ctypes.data_as(ctypes.POINTER(ctypes.c_int16)),
                                 frame, out, 1500)
            payloads.append(bytes(out[:n]))
        opus.opus_encoder_destroy(enc)
    with open(path, "wb") as f:
        for p in payloads:
            f.write(struct.pack(">I", len(p)) + p)


def ncc_scan(x, y, start, lo, hi):
    """Normalised correlation of X with Y[start + lag:][:len(X)] for each lag
    in [LO, HI] samples: (best value, its lag)."""
    n = len(x)
    a, b = start + lo, start + hi + n
    seg = np.zeros(b - a)
    src_a, src_b = max(a, 0), min(b, len(y))
    if src_b > src_a:
        seg[src_a - a : src_b - a] = y[src_a:src_b]
    size = 1 << int(np.ceil(np.log2(len(seg) + n)))
    corr = np.fft.irfft(np.fft.rfft(seg, size) * np.conj(np.fft.rfft(x, size)), size)
    corr = corr[: hi - lo + 1]
    energy = np.concatenate([[0], np.cumsum(seg * seg)])
    local = energy[n : n + hi - lo + 1] - energy[: hi - lo + 1]
    xn = np.sqrt(np.sum(x * x))
    with np.errstate(divide="ignore", invalid="ignore"):
        values = np.where(local > 1e-12, corr / (xn * np.sqrt(np.maximum(local, 1e-30))), 0)
    best = int(np.argmax(values))
    return float(values[best]), lo + best


FRACTIONS = 8  # similarity is aligned to 1/FRACTIONS of a sample


def shifted(x, d):
    """X delayed by D samples (a fraction), band-limited, padded so that the
    shift does not wrap around."""
    pad = 32
    n = len(x) + 2 * pad
    spectrum = np.fft.rfft(np.concatenate([np.zeros(pad), x, np.zeros(pad)]))
    spectrum *= np.exp(-2j * np.pi * np.fft.rfftfreq(n) * d)
    return np.fft.irfft(spectrum, n)[pad : pad + len(x)]


def aligned(x, y, at):
    """Normalised correlation of X with Y[AT:][:len(X)], X shifted by the
    fraction of a sample (in 1/FRACTIONS, within half a sample either way)
    that matches best: a client whose audio sits between two samples of the
    codec's rate is not marked down for it."""
    n = len(x)
    seg = np.zeros(n)
    a, b = max(at, 0), min(at + n, len(y))
    if b > a:
        seg[a - at : b - at] = y[a:b]
    energy = np.sqrt(np.sum(seg * seg))
    if energy < 1e-9:
        return 0.0
    best = -1.0
    for k in range(-FRACTIONS // 2, FRACTIONS // 2 + 1):
        xs = shifted(x, k / FRACTIONS)
        norm = np.sqrt(np.sum(xs * xs))
        if norm > 1e-12:
            best = max(best, float(np.dot(xs, seg) / (norm * energy)))
    return best


def find(x, y):
    """Where X starts in Y (normalised correlation over all of Y)."""
    _, lag = ncc_scan(x, y, 0, 0, len(y) - len(x))
    return lag


def echo_figures(recording, reference, rate):
    """Round trip, similarity and dropouts of the echo heard on the right
    channel, at RATE (the codec's band)."""
    mic = resample(recording[:, 0], RATE, rate)
    spk = resample(recording[:, 1], RATE, rate)
    ref = resample(reference, RATE, rate)
    at = find(ref, mic)  # the feed's place in the recording
    fed = mic[at : at + len(ref)]
    w = int(WINDOW * rate)
    lo, hi = int(LAG_MIN * rate), int(LAG_MAX * rate)
    level = np.sqrt(np.mean(fed ** 2))
    windows = []  # (similarity, lag) of each window with sound in it
    for s in range(0, len(fed) - w, w):
        x = fed[s : s + w]
        if np.sqrt(np.mean(x * x)) < level * 0.1:
            continue
        value, wlag = ncc_scan(x, spk, at + s, lo, hi)
        windows.append((max(value, aligned(x, spk, at + s + wlag)), wlag, s))
    sims = np.array([v for v, _, _ in windows])
    good = [lag for v, lag, _ in windows if v >= 0.6]
    delays = np.array(good) / rate * 1000 if good else np.array([np.nan])
    overall, lag = ncc_scan(fed, spk, at, lo, hi)
    overall = max(overall, aligned(fed, spk, at + lag))
    # Dropouts: 20 ms frames of sound in the feed whose echo (at the window's
    # own lag, the loop's gain taken into account) is 20 dB too quiet.
    f = int(0.02 * rate)
    frames = []
    for _, wlag, s in windows:
        for k in range(s, s + w - f + 1, f):
            e_in = np.mean(fed[k : k + f] ** 2)
            j = at + k + wlag
            e_out = np.mean(spk[j : j + f] ** 2) if j + f <= len(spk) else 0.0
            if e_in > (level * 0.1) ** 2:
                frames.append((e_in, e_out))
    frames = np.array(frames)
    gain = np.median(frames[:, 1] / frames[:, 0])
    dropouts = float(np.mean(frames[:, 1] < gain * frames[:, 0] * 0.01)) * 100
    return {
        "delay_median": float(np.median(delays)),
        "delay_max": float(np.max(delays)),
        "similarity": overall,
        "window_similarity": float(np.mean(sims)),
        "dropouts": dropouts,
    }


def read_recording(path):
    """Columns: the microphone's feed, the loudspeaker (the sink's channels
    are the other way round)."""
    data = np.fromfile(path, dtype="<i2").astype(float) / 32768.0
    return data[: len(data) // 2 * 2].reshape(-1, 2)[:, ::-1]


def rtp_packets(path):
    """(sequence, timestamp, payload type, payload) of each captured RTP packet."""
    raw = open(path, "rb").read()
    out, i = [], 0
    while i + 4 <= len(raw):
        (n,) = struct.unpack(">I", raw[i : i + 4])
        p = raw[i + 4 : i + 4 + n]
        i += 4 + n
        if len(p) < 12 or p[0] >> 6 != 2:
            continue
        cc, ext = p[0] & 15, p[0] & 16
        pt, seq = p[1] & 127, struct.unpack(">H", p[2:4])[0]
        ts = struct.unpack(">I", p[4:8])[0]
        head = 12 + 4 * cc
        if ext:
            head += 4 + 4 * struct.unpack(">H", p[head + 2 : head + 4])[0]
        payload = p[head:]
        if p[0] & 32 and payload:
            payload = payload[: -payload[-1]]
        out.append((seq, ts, pt, payload))
    return out


def ulaw_table():
    table = np.zeros(256)
    for i in range(256):
        u = ~i & 0xFF
        t = ((u & 0x0F) << 3) + 0x84
        t <<= (u & 0x70) >> 4
        table[i] = ((0x84 - t) if u & 0x80 else (t - 0x84)) / 32768.0
    return table


def decode_sent(path, codec, rate):
    """The client's RTP, decoded at RATE and laid out by timestamp."""
    packets = rtp_packets(path)
    if not packets:
        return np.zeros(0)
    types = [pt for _, _, pt, _ in packets]
    main = max(set(types), key=types.count)
    packets = [p for p in packets if p[2] == main]
    clock = 8000 if codec == "PCMU" else 48000
    ts0 = packets[0][1]
    out = {}
    if codec == "PCMU":
        table = ulaw_table()
        for _, ts, _, payload in packets:
            out[(ts - ts0) & 0xFFFFFFFF] = table[np.frombuffer(payload, dtype=np.uint8)]
    else:
        opus = ctypes.CDLL("libopus.so.0")
        opus.opus_decoder_create.restype = ctypes.c_void_p
        err = ctypes.c_int()
        dec = opus.opus_decoder_create(rate, 1, ctypes.byref(err))
        pcm = (ctypes.c_int16 * 5760)()
        for _, ts, _, payload in sorted(packets, key=lambda p: (p[1] - ts0) & 0xFFFFFFFF):
            n = opus.opus_decode(ctypes.c_void_p(dec), payload, len(payload), pcm, 5760, 0)
            if n > 0:
                out[(ts - ts0) & 0xFFFFFFFF] = np.array(pcm[:n]) / 32768.0
        opus.opus_decoder_destroy(ctypes.c_void_p(dec))
    end = max(t * rate // clock + len(v) for t, v in out.items())
    signal = np.zeros(end)
    for t, v in out.items():
        k = t * rate // clock
        signal[k : k + len(v)] = v
    return signal


def send_figures(reference, sent, rate):
    """The client's own RTP against the reference speech (what the
    microphone's feed played, without any echo that reached the microphone):
    similarity at one lag, and the mean of 200 ms windows each at its own lag
    (within half a second of that one: a loaded machine slips the capture now
    and then). The speech may start up to a second before the first packet's
    timestamp."""
    ref = resample(reference, RATE, rate)
    sent = np.concatenate([np.zeros(rate), sent])
    if len(sent) < len(ref):
        return float("nan"), float("nan")
    whole, lag = ncc_scan(ref, sent, 0, 0, len(sent) - len(ref))
    whole = max(whole, aligned(ref, sent, lag))
    w = int(WINDOW * rate)
    level = np.sqrt(np.mean(ref**2))
    slip = rate // 2
    sims = []
    for s in range(0, len(ref) - w, w):
        x = ref[s : s + w]
        if np.sqrt(np.mean(x**2)) < level * 0.1:
            continue
        value, wlag = ncc_scan(x, sent, lag + s, -slip, slip)
        sims.append(max(value, aligned(x, sent, lag + s + wlag)))
    return whole, float(np.mean(sims))


def clipped(sent):
    """Samples of the client's own RTP at or above 0.9 of full scale."""
    return int(np.sum(np.abs(sent) >= 0.9))


OPUS_MODES = ["SILK"] * 12 + ["hybrid"] * 4 + ["CELT"] * 16
OPUS_BANDS = (["NB"] * 4 + ["MB"] * 4 + ["WB"] * 4 + ["SWB"] * 2 + ["FB"] * 2 + ["NB"] * 4
              + ["WB"] * 4 + ["SWB"] * 4 + ["FB"] * 4)


def opus_frame_ms(config):
    if config < 12:
        return [10, 20, 40, 60][config % 4]
    if config < 16:
        return [10, 20][config % 2]
    return [2.5, 5, 10, 20][config % 4]


def wire_mode(path, codec):
    """The client's codec as its RTP shows it: for Opus the mode, audio band,
    channels and frame of most packets (from each packet's first byte), and
    the payload's bit rate (RTP headers left out) over the call."""
    packets = rtp_packets(path)
    if not packets:
        return "no RTP"
    types = [pt for _, _, pt, _ in packets]
    main = max(set(types), key=types.count)
    packets = [p for p in packets if p[2] == main and p[3]]
    if len(packets) < 2:
        return "no RTP"
    clock = 8000 if codec == "PCMU" else 48000
    span = ((packets[-1][1] - packets[0][1]) & 0xFFFFFFFF) / clock
    if span <= 0:
        return "no RTP"
    kbits = sum(len(p[3]) for p in packets[:-1]) * 8 / span / 1000
    if codec == "PCMU":
        return f"PCMU {kbits:.0f}k"
    kinds = {}
    for p in packets:
        toc = p[3][0]
        config = toc >> 3
        kind = (OPUS_MODES[config], OPUS_BANDS[config], "stereo" if toc & 4 else "mono",
                opus_frame_ms(config))
        kinds[kind] = kinds.get(kind, 0) + 1
    (mode, band, channels, frame), count = max(kinds.items(), key=lambda kv: kv[1])
    share = "" if count == len(packets) else f" ({100 * count // len(packets)}%)"
    return f"opus {mode} {band} {channels} {frame:g}ms{share} {kbits:.0f}k"


# Every buffer the library's log names: the flow-controlled ones (the sound
# card's, the echo canceller's far-end reference) report when they held more
# than their limit, the least over an interval or what was left at its end;
# the PulseAudio playback stream reports its latency every 5 s.
FILL = re.compile(r"Flow controlled bufferizer owned by \[(\w+)\].*?(?:filled|filed) with (?:at least )?(\d+) ms")
SERVER = re.compile(r"pulseaudio: latency is equal to (\d+) ms")


def buffer_fills(log_path):
    """{buffer: largest fill in ms} of every buffer the log names; empty when
    it names none (a client that logs no buffer, or buffers that never went
    over their limits)."""
    try:
        text = open(log_path, encoding="utf-8", errors="replace").read()
    except OSError:
        return {}
    fills = {}
    for m in FILL.finditer(text):
        fills[m.group(1)] = max(fills.get(m.group(1), 0), int(m.group(2)))
    for m in SERVER.finditer(text):
        fills["PulseServer"] = max(fills.get("PulseServer", 0), int(m.group(1)))
    return fills
