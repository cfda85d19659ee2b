// What the customer hears and what the queue hears, through a private
// PulseAudio server: its "speaker" null sink is where the program plays (its
// monitor is recorded), and the program's microphone is fed through the "mic"
// null sink. The queue's audio comes from the test's own RTP peer, which
// keeps what the program sends and can play it back.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <thread>

#include "app_state.h"
#include "child_process.h"
#include "sip.h"
#include "sip_internal.h"
#include "sip_test_support.h"

namespace {

const int RATE = 8000;

bool currentCallIn(std::initializer_list<LinphoneCallState> states) {
  std::lock_guard<std::mutex> lock(coreMutex);
  if (!app.currentCall)
    return false;
  LinphoneCallState now = linphone_call_get_state(app.currentCall);
  return std::find(states.begin(), states.end(), now) != states.end();
}

// 16-bit mono samples of a raw recording.
std::vector<double> readSamples(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<double> out;
  int16_t sample;
  while (in.read(reinterpret_cast<char *>(&sample), 2))
    out.push_back(sample / 32768.0);
  return out;
}

double dbfs(const double *x, size_t n) {
  double sum = 1e-20;
  for (size_t i = 0; i < n; ++i)
    sum += x[i] * x[i];
  return 10 * std::log10(sum / std::max<size_t>(n, 1)) + 3.01; // a full-scale sine is 0 dBFS
}

// Power of x at `hz` relative to x's whole power (1: a pure tone at hz).
double toneShare(const double *x, size_t n, double hz) {
  std::complex<double> sum = 0;
  double energy = 1e-20;
  for (size_t i = 0; i < n; ++i) {
    sum += x[i] * std::polar(1.0, -2 * M_PI * hz * i / RATE);
    energy += x[i] * x[i];
  }
  return 2 * std::norm(sum) / n / energy;
}

// The loudest 10 ms (Hann-windowed, 5 ms apart) of x[from, to) between 1.2
// and 4 kHz, in dBFS: a ringing tone (425 Hz) has nothing there, a tone cut
// short has its click there.
double loudestClick(const std::vector<double> &x, size_t from, size_t to) {
  const size_t n = RATE / 100;
  double loudest = -200;
  for (size_t at = from; at + n <= std::min(to, x.size()); at += n / 2) {
    double power = 0, windowPower = 0;
    for (size_t k = 12; k <= 40; ++k) {
      std::complex<double> sum = 0;
      for (size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        sum += w * x[at + i] * std::polar(1.0, -2 * M_PI * double(k * i) / n);
      }
      power += std::norm(sum);
    }
    for (size_t i = 0; i < n; ++i)
      windowPower += std::pow(0.5 - 0.5 * std::cos(2 * M_PI * i / n), 2);
    loudest = std::max(loudest, 10 * std::log10(2 * power / (n * windowPower) + 1e-20) + 3.01);
  }
  return loudest;
}

// The strongest frequency between 300 and 600 Hz, to a tenth of a hertz.
double peakFrequency(const double *x, size_t n) {
  double best = 0, bestShare = -1;
  for (double hz = 300; hz <= 600; hz += 0.1) {
    double share = toneShare(x, n, hz);
    if (share > bestShare)
      bestShare = share, best = hz;
  }
  return best;
}

// The ringing tones of a recording, from 50 ms frames; a tone with a hole of
// less than 0.3 s is one (the sound server leaves holes when the machine is
// loaded).
const size_t FRAME = RATE / 20;
struct Tone {
  size_t start, end, length; // in samples; the length leaves the holes out
  std::vector<double> sound; // its frames but the last, holes left out
};
std::vector<Tone> findTones(const std::vector<double> &x) {
  std::vector<Tone> tones;
  for (size_t at = 0; at + FRAME <= x.size(); at += FRAME) {
    if (dbfs(&x[at], FRAME) < -40 || toneShare(&x[at], FRAME, 425) < 0.5)
      continue;
    if (tones.empty() || at - tones.back().end > RATE * 3 / 10)
      tones.push_back({at, at, 0, {}});
    Tone &tone = tones.back();
    if (tone.length > 0) // the previous frame is not the tone's last
      tone.sound.insert(tone.sound.end(), x.begin() + long(tone.end - FRAME),
                        x.begin() + long(tone.end));
    tone.end = at + FRAME, tone.length += FRAME;
  }
  return tones;
}

// u-law, as the program sends it (G.711).
double fromUlaw(uint8_t code) {
  code = ~code;
  int magnitude = ((code & 0x0f) << 3) + 0x84;
  magnitude <<= (code & 0x70) >> 4;
  return ((code & 0x80) ? 0x84 - magnitude : magnitude - 0x84) / 32768.0;
}

void fft(std::vector<std::complex<double>> &a, bool inverse) {
  size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j)
      std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> step = std::polar(1.0, (inverse ? 2 : -2) * M_PI / len);
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Where x lies whole in y, the place that matches it best (y[lag + i] is
// x[i]) and the correlation coefficient there.
std::pair<long, double> bestMatch(const std::vector<double> &x, const std::vector<double> &y) {
  if (x.empty() || y.size() < x.size())
    return {0, 0};
  size_t n = 1;
  while (n < x.size() + y.size())
    n <<= 1;
  std::vector<std::complex<double>> a(n), b(n);
  std::copy(x.begin(), x.end(), a.begin());
  std::copy(y.begin(), y.end(), b.begin());
  fft(a, false), fft(b, false);
  for (size_t i = 0; i < n; ++i)
    a[i] = std::conj(a[i]) * b[i];
  fft(a, true);
  double xx = 1e-20, yy = 1e-20;
  for (double v : x)
    xx += v * v;
  for (size_t i = 0; i < x.size(); ++i)
    yy += y[i] * y[i];
  std::pair<long, double> best{0, -2};
  for (size_t lag = 0; lag + x.size() <= y.size(); ++lag) {
    // Where y is silent the running sum is rounding noise: no match there.
    double c = yy > xx * 1e-6 ? a[lag].real() / n / std::sqrt(xx * yy) : 0;
    if (c > best.second)
      best = {long(lag), c};
    yy += (lag + x.size() < y.size() ? y[lag + x.size()] * y[lag + x.size()] : 0) - y[lag] * y[lag];
  }
  return best;
}

// The part of a recording where something sounds, with 100 ms either side.
std::vector<double> sounding(const std::vector<double> &x) {
  size_t first = x.size(), last = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (std::fabs(x[i]) > 0.01)
      first = std::min(first, i), last = i;
  if (first > last)
    return {};
  first = first > RATE / 10 ? first - RATE / 10 : 0;
  last = std::min(x.size(), last + RATE / 10);
  return std::vector<double>(x.begin() + long(first), x.begin() + long(last));
}

// How a received copy of speech compares with the speech in 200 ms windows
// where the speech sounds, each found on its own near where the previous one
// was, or else anywhere (a playback buffer that grows or is trimmed moves the
// copy): the lowest and the median similarity, and the dropouts, windows that
// match nothing.
struct Windows {
  double lowest = 1, median = 0;
  int dropouts = 0, count = 0;
};
Windows compareWindows(const std::vector<double> &speech, const std::vector<double> &copy,
                       long lag) {
  Windows result;
  std::vector<double> found;
  const long width = RATE / 5, reach = RATE / 2;
  for (long at = 0; at + width <= long(speech.size()); at += width) {
    if (dbfs(&speech[size_t(at)], size_t(width)) < -40)
      continue;
    ++result.count;
    long from = std::max(0L, at + lag - reach);
    long to = std::min(long(copy.size()), at + lag + width + reach);
    std::vector<double> window(speech.begin() + at, speech.begin() + at + width);
    std::pair<long, double> match{0, 0};
    if (to - from >= width)
      match = bestMatch(window, std::vector<double>(copy.begin() + from, copy.begin() + to));
    if (match.second < 0.5) { // moved further: anywhere in the copy
      match = bestMatch(window, copy);
      from = 0;
    }
    found.push_back(match.second);
    if (match.second < 0.5) {
      ++result.dropouts;
      continue;
    }
    lag = from + match.first - at;
  }
  if (!found.empty()) {
    std::sort(found.begin(), found.end());
    result.lowest = found.front();
    result.median = found[found.size() / 2];
  }
  return result;
}

// The queue's media: keeps every RTP packet the program sends and, when
// asked, plays them all back to it (a source of its own, fresh sequence
// numbers and timestamps, one packet every 20 ms), as a queue that repeats
// what it heard.
class RtpPeer {
public:
  explicit RtpPeer(const char *ip) {
    sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, ip, &at.sin_addr);
    bind(sock, reinterpret_cast<sockaddr *>(&at), sizeof at);
    socklen_t len = sizeof at;
    getsockname(sock, reinterpret_cast<sockaddr *>(&at), &len);
    port = ntohs(at.sin_port);
    worker = std::thread([this] { serve(); });
  }
  ~RtpPeer() {
    stopping = true;
    worker.join();
    close(sock);
  }
  int port = 0;

  size_t packets() {
    std::lock_guard<std::mutex> lock(mutex);
    return received.size();
  }
  // The audio received, each packet at its RTP timestamp (a lost packet
  // leaves silence), and how many packets were missing between the first and
  // the last.
  std::vector<double> audio(int &missing) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<double> out;
    missing = 0;
    if (received.empty())
      return out;
    uint32_t firstTs = field(received[0], 4, 4);
    uint32_t lastSeq = field(received[0], 2, 2) - 1;
    for (const std::string &p : received) {
      missing += uint16_t(field(p, 2, 2) - lastSeq - 1);
      lastSeq = field(p, 2, 2);
      size_t at = field(p, 4, 4) - firstTs;
      if (at + p.size() - 12 > out.size())
        out.resize(at + p.size() - 12);
      for (size_t i = 12; i < p.size(); ++i)
        out[at + i - 12] = fromUlaw(uint8_t(p[i]));
    }
    return out;
  }
  // Packets whose timestamp does not follow the one before by 20 ms a packet
  // (sequence numbers counted): a jump the far end plays as a gap or a drop.
  int timestampJumps() {
    std::lock_guard<std::mutex> lock(mutex);
    int jumps = 0;
    for (size_t i = 1; i < received.size(); ++i) {
      uint16_t packets = uint16_t(field(received[i], 2, 2) - field(received[i - 1], 2, 2));
      jumps += field(received[i], 4, 4) - field(received[i - 1], 4, 4) != packets * 160u;
    }
    return jumps;
  }
  // Plays back what was received so far; true once it has all been sent.
  void replay() {
    std::lock_guard<std::mutex> lock(mutex);
    toReplay = received.size();
  }
  bool replayed() {
    std::lock_guard<std::mutex> lock(mutex);
    return replayedCount == toReplay;
  }

private:
  static uint32_t field(const std::string &p, size_t at, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = at; i < at + bytes; ++i)
      value = value << 8 | uint8_t(p[i]);
    return value;
  }
  void serve() {
    char buffer[2048];
    sockaddr_in program{};
    auto next = std::chrono::steady_clock::now();
    while (!stopping) {
      pollfd in{sock, POLLIN, 0};
      if (poll(&in, 1, 5) > 0) {
        socklen_t len = sizeof program;
        ssize_t n =
            recvfrom(sock, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&program), &len);
        if (n > 12 && (buffer[1] & 0x7f) == 0) { // PCMU only
          std::lock_guard<std::mutex> lock(mutex);
          received.emplace_back(buffer, size_t(n));
        }
      }
      std::string packet;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (replayedCount == toReplay || std::chrono::steady_clock::now() < next)
          continue;
        packet = received[replayedCount];
        uint32_t seq = uint32_t(replayedCount), ts = seq * 160;
        packet[1] = char(packet[1] & 0x80);
        packet[2] = char(seq >> 8), packet[3] = char(seq);
        for (int i = 0; i < 4; ++i)
          packet[4 + i] = char(ts >> (24 - 8 * i)), packet[8 + i] = char(0x51 + i);
        ++replayedCount;
      }
      next = std::max(next + std::chrono::milliseconds(20),
                      std::chrono::steady_clock::now() - std::chrono::milliseconds(100));
      sendto(sock, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&program),
             sizeof program);
    }
  }
  int sock = -1;
  std::atomic<bool> stopping{false};
  std::thread worker;
  std::mutex mutex;
  std::vector<std::string> received;
  size_t toReplay = 0, replayedCount = 0;
};

class SipVoice : public SipTest {
protected:
  static constexpr const char *QUEUE = "127.0.3.14";
  pid_t soundServer = -1;
  std::vector<pid_t> recorders;

  void SetUp() override {
    SipTest::SetUp();
    // The system's defaults, which the program uses, are "Fone": the speaker
    // sink and a microphone that hears whatever is played into the "mic" sink
    // (a monitor itself is not offered as a microphone).
    std::string pulse = dir + "/pulse";
    ASSERT_EQ(mkdir(pulse.c_str(), 0700), 0);
    soundServer = spawnLogged(
        {"env", "HOME=" + pulse, "XDG_RUNTIME_DIR=" + pulse, "pulseaudio", "-n", "--daemonize=no",
         "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes", "-L",
         "module-null-sink sink_name=speaker rate=8000 channels=1 "
         "sink_properties=device.description=Fone",
         "-L",
         "module-null-sink sink_name=mic rate=8000 channels=1 "
         "sink_properties=device.description=Entrada",
         "-L",
         "module-remap-source source_name=microphone master=mic.monitor "
         "source_properties=device.description=Fone",
         "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + pulse + "/native"},
        pulse + "/log");
    setenv("PULSE_SERVER", ("unix:" + pulse + "/native").c_str(), 1);
    ASSERT_TRUE(waitUntil([] { return system("pactl info >/dev/null 2>&1") == 0; }))
        << readFile(pulse + "/log");
    ASSERT_EQ(system("pactl set-default-sink speaker && pactl set-default-source microphone"), 0);
  }

  void TearDown() override {
    for (pid_t &pid : recorders)
      finishChild(pid, 0);
    SipTest::TearDown();
    finishChild(soundServer, 0);
  }

  // Records a sink's monitor (8 kHz, 16-bit mono) into `file` from now on.
  void record(const std::string &device, const std::string &file) {
    recorders.push_back(spawnLogged({"parec", "--device=" + device, "--rate=8000", "--channels=1",
                                     "--format=s16le", "--latency-msec=20", "--raw", file},
                                    file + ".log"));
  }
  size_t recorded(const std::string &file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 ? size_t(st.st_size) / 2 : 0;
  }
  // Stops the recorders (their files are complete once they have ended).
  void stopRecording() {
    for (pid_t &pid : recorders) {
      kill(pid, SIGINT);
      finishChild(pid, 5000);
    }
    recorders.clear();
  }

  // Registers on the queue's peer, which rings for ringMs (then sends early
  // media for earlyMediaMs) before it answers with `media` as its RTP peer,
  // and places the call (after `beforeCall`, once the core is running).
  void callQueue(int ringMs, const RtpPeer &media, int earlyMediaMs = 0,
                 const std::function<void()> &beforeCall = {}) {
    std::string scenario =
        fillScenario("queue_rings_then_answers.xml", {{"[ring_ms]", std::to_string(ringMs)},
                                                      {"[early_ms]", std::to_string(earlyMediaMs)},
                                                      {"[rtp_address]", QUEUE},
                                                      {"[rtp_port]", std::to_string(media.port)}});
    ASSERT_TRUE(startPeer(scenario, QUEUE, 2));
    setupSipAccount("alice", "pw", QUEUE);
    ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
    if (beforeCall)
      beforeCall();
    if (HasFatalFailure())
      return;
    textCopy(app.calleeUser, "fila");
    placeCall(QUEUE);
  }
};

// While the queue rings without audio of its own, the customer hears Brazil's
// ringing tone, 425 Hz, 1 s on and 4 s off; the answer silences it at once.
// The queue rings for 11 s (three tones) and the call goes on for 6 s,
// past the next tone's time.
TEST_F(SipVoice, RingbackToneWhileTheQueueRingsUntilTheAnswer) {
  const std::string speaker = dir + "/speaker.raw";
  record("speaker.monitor", speaker);
  RtpPeer media(QUEUE);
  callQueue(11000, media);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallOutgoingRinging}); }));
  size_t ringing = recorded(speaker);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  size_t answered = recorded(speaker);
  ASSERT_TRUE(waitUntil([&] { return recorded(speaker) > answered + 6 * RATE; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  std::vector<double> x = readSamples(speaker);
  ASSERT_GT(x.size(), answered + 6 * RATE);
  std::vector<Tone> tones = findTones(x);
  ASSERT_GE(tones.size(), 2u) << "no ringing tone, or no second one, while the queue rang";
  EXPECT_GE(tones[0].start + FRAME, ringing) << "a tone before the queue rang";
  // The answer ends the tone at once (the sound server's own delay aside).
  EXPECT_LE(tones.back().end, answered + RATE / 2) << "the tone went on after the answer";
  // The loaded machine's holes can lengthen a tone's silence, and the
  // playback buffer's trimming shorten a tone or a silence: bounds here,
  // the figures printed.
  size_t longest = 0, shortestGap = x.size();
  for (size_t i = 0; i < tones.size(); ++i) {
    EXPECT_LE(tones[i].length, RATE * 23 / 20) << "tone " << i << " lasts more than 1 s";
    if (tones[i].length > tones[longest].length)
      longest = i;
    if (i > 0)
      shortestGap = std::min(shortestGap, tones[i].start - tones[i - 1].end);
  }
  EXPECT_GE(shortestGap, RATE * 5 / 2) << "less than 4 s between tones";

  EXPECT_GE(tones[longest].length, RATE * 17 / 20) << "no tone lasts 1 s";
  const std::vector<double> &steady = tones[longest].sound;
  std::vector<double> middle(steady.begin() + std::min(steady.size(), FRAME), steady.end());
  double level = dbfs(middle.data(), middle.size()),
         hz = peakFrequency(middle.data(), middle.size());
  double after = dbfs(&x[answered + RATE / 2], x.size() - answered - RATE / 2);
  fprintf(stderr, "ringback: %.1f dBFS at %.1f Hz; tones of", level, hz);
  for (size_t i = 0; i < tones.size(); ++i)
    fprintf(stderr, " %.2f s", double(tones[i].length) / RATE);
  fprintf(stderr, ", one every");
  for (size_t i = 1; i < tones.size(); ++i)
    fprintf(stderr, " %.2f s", double(tones[i].start - tones[i - 1].start) / RATE);
  fprintf(stderr, "; after the answer %.1f dBFS\n", after);
  EXPECT_NEAR(hz, 425, 2);
  EXPECT_GT(level, -20);
  EXPECT_LT(level, -6);
  EXPECT_LT(after, -50) << "sound after the answer";
}

// The answer ends the ringing tone in the middle of a tone (the queue answers
// after 0.7 s): it fades out instead of being cut, which sounds as a click.
TEST_F(SipVoice, AnswerFadesTheRingbackToneOut) {
  const std::string speaker = dir + "/speaker.raw";
  record("speaker.monitor", speaker);
  // A recorder can take seconds to start on a loaded machine.
  ASSERT_TRUE(waitUntil([&] { return recorded(speaker) > 0; }));
  RtpPeer media(QUEUE);
  callQueue(700, media);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  size_t answered = recorded(speaker);
  ASSERT_TRUE(waitUntil([&] { return recorded(speaker) > answered + RATE; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  std::vector<double> x = readSamples(speaker);
  std::vector<Tone> tones = findTones(x);
  ASSERT_EQ(tones.size(), 1u) << "one ringing tone before the answer";
  ASSERT_LT(tones[0].length, size_t(RATE * 9 / 10)) << "the answer did not come while it sounded";
  // The tone is found by 50 ms frames: its end lies within the last one.
  size_t end = tones[0].end;
  double tone = loudestClick(x, tones[0].start + FRAME, end - 2 * FRAME),
         click = loudestClick(x, end - 2 * FRAME, end + 4 * FRAME);
  fprintf(stderr,
          "ringback cut after %.2f s; 1.2-4 kHz: %.1f dBFS while it sounds, %.1f at its end\n",
          double(tones[0].length) / RATE, tone, click);
  EXPECT_LT(click, -55) << "the tone ends with a click";
}

// The system's default speaker and microphone are used whichever they are: a
// headset plugged in and made the default after the program started (a sink
// and a source listed after the program's first card) hears the ringing
// tone and the queue, and its microphone is what the queue hears; the first
// card, the default before, stays silent.
TEST_F(SipVoice, SoundFollowsTheDefaultDevicesChosenWhileTheProgramRuns) {
  const std::string speech = dir + "/speech.wav", feed = dir + "/feed.raw",
                    headset = dir + "/headset.raw", speaker = dir + "/speaker.raw";
  ASSERT_EQ(system(("espeak-ng -v pt-br -s 150 -w '" + speech +
                    "' 'Bom dia. Preciso falar com a consultoria sobre a nota fiscal.'")
                       .c_str()),
            0);
  RtpPeer media(QUEUE);
  callQueue(1500, media, 0, [&] {
    ASSERT_EQ(system("pactl load-module module-null-sink sink_name=headset rate=8000 channels=1 "
                     "sink_properties=device.description=Headset >/dev/null && "
                     "pactl load-module module-null-sink sink_name=headset-in rate=8000 channels=1 "
                     "sink_properties=device.description=Headset-entrada >/dev/null && "
                     "pactl load-module module-remap-source source_name=headset-mic "
                     "master=headset-in.monitor source_properties=device.description=Headset "
                     ">/dev/null && pactl set-default-sink headset && "
                     "pactl set-default-source headset-mic"),
              0);
    record("headset.monitor", headset);
    record("speaker.monitor", speaker);
    record("headset-in.monitor", feed);
    ASSERT_TRUE(waitUntil([&] { return recorded(headset) > 0 && recorded(speaker) > 0; }));
  });
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  size_t answered = recorded(headset);
  pid_t say = spawnLogged({"paplay", "--device=headset-in", speech}, dir + "/paplay.log");
  ASSERT_EQ(finishChild(say, 60000), 0) << readFile(dir + "/paplay.log");
  size_t packets = media.packets();
  ASSERT_TRUE(waitUntil([&] { return media.packets() > packets + 25; }));
  int missing = 0;
  std::vector<double> sent = media.audio(missing);
  media.replay();
  ASSERT_TRUE(waitUntil([&] { return media.replayed(); }, 60000));
  size_t heardSoFar = recorded(headset);
  ASSERT_TRUE(waitUntil([&] { return recorded(headset) > heardSoFar + RATE / 2; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  std::vector<double> onHeadset = readSamples(headset), onSpeaker = readSamples(speaker);
  ASSERT_GT(onHeadset.size(), answered);
  std::vector<double> ringing(onHeadset.begin(), onHeadset.begin() + long(answered));
  EXPECT_FALSE(findTones(ringing).empty()) << "no ringing tone on the default speaker";
  std::vector<double> said = sounding(readSamples(feed)), queueSaid = sounding(sent);
  ASSERT_GT(said.size(), size_t(RATE)) << "no speech in the default microphone's feed";
  sent.insert(sent.begin(), RATE / 2, 0.0); // the feed's margin may come before the first packet
  double toQueue = bestMatch(said, sent).second;
  // The playback buffer, trimmed on a loaded machine, moves the copy: 200 ms
  // windows, each at its own place.
  Windows back = compareWindows(queueSaid, onHeadset, bestMatch(queueSaid, onHeadset).first);
  double elsewhere = dbfs(onSpeaker.data(), onSpeaker.size());
  fprintf(stderr,
          "default microphone to the queue: similarity %.3f; the queue on the default speaker: "
          "median %.3f of %d windows; the first card's speaker: %.1f dBFS\n",
          toQueue, back.median, back.count, elsewhere);
  EXPECT_GE(toQueue, 0.9) << "the queue does not hear the default microphone";
  EXPECT_GE(back.median, 0.8) << "the default speaker does not play the queue";
  EXPECT_LT(elsewhere, -50) << "sound on the speaker that is no longer the default";
}

// A default source that is a monitor (what a sink plays: the system's choice
// on a machine without a microphone) is no microphone: the program takes the
// first real one instead of sending the customer what they hear.
TEST_F(SipVoice, MonitorMadeTheDefaultSourceIsNotTheMicrophone) {
  const std::string speech = dir + "/speech.wav", feed = dir + "/feed.raw";
  ASSERT_EQ(
      system(("espeak-ng -v pt-br -s 150 -w '" + speech + "' 'Bom dia, consultoria.'").c_str()), 0);
  ASSERT_EQ(system("pactl set-default-source speaker.monitor"), 0);
  record("mic.monitor", feed);
  ASSERT_TRUE(waitUntil([&] { return recorded(feed) > 0; }));
  RtpPeer media(QUEUE);
  callQueue(0, media);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  pid_t say = spawnLogged({"paplay", "--device=mic", speech}, dir + "/paplay.log");
  ASSERT_EQ(finishChild(say, 60000), 0) << readFile(dir + "/paplay.log");
  size_t packets = media.packets();
  ASSERT_TRUE(waitUntil([&] { return media.packets() > packets + 25; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  int missing = 0;
  std::vector<double> said = sounding(readSamples(feed)), sent = media.audio(missing);
  ASSERT_GT(said.size(), size_t(RATE / 2)) << "no speech in the microphone's feed";
  sent.insert(sent.begin(), RATE / 2, 0.0); // the feed's margin may come before the first packet
  double toQueue = bestMatch(said, sent).second;
  fprintf(stderr, "microphone to the queue: similarity %.3f\n", toQueue);
  EXPECT_GE(toQueue, 0.9) << "the queue does not hear the microphone";
}

// Early media from the queue (its own ringing, an announcement) silences the
// ringing tone at once.
TEST_F(SipVoice, EarlyMediaSilencesTheRingbackTone) {
  const std::string speaker = dir + "/speaker.raw";
  record("speaker.monitor", speaker);
  RtpPeer media(QUEUE);
  callQueue(6000, media, 6000);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallOutgoingEarlyMedia}); }));
  size_t early = recorded(speaker);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  std::vector<double> x = readSamples(speaker);
  ASSERT_GT(x.size(), early + 5 * RATE);
  std::vector<Tone> tones = findTones(x);
  ASSERT_FALSE(tones.empty()) << "no ringing tone before the early media";
  EXPECT_LE(tones.back().end, early + RATE / 2) << "the tone went on during the early media";
  EXPECT_LT(dbfs(&x[early + RATE / 2], x.size() - early - RATE / 2), -50);
}

// Reference speech played into the microphone reaches the queue as it was
// said (the program's own RTP, decoded); then the queue plays that back, and
// the speaker plays it as it came. Nothing is missing either way.
TEST_F(SipVoice, AnsweredCallCarriesSpeechBothWaysUnaltered) {
  const std::string speech = dir + "/speech.wav", feed = dir + "/feed.raw",
                    speaker = dir + "/speaker.raw";
  ASSERT_EQ(system(("espeak-ng -v pt-br -s 150 -w '" + speech +
                    "' 'Bom dia. Preciso falar com a consultoria sobre a nota fiscal de "
                    "serviços, o imposto de março e a folha de pagamento.'")
                       .c_str()),
            0);
  record("mic.monitor", feed);
  record("speaker.monitor", speaker);
  RtpPeer media(QUEUE);
  callQueue(0, media);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  pid_t say = spawnLogged({"paplay", "--device=mic", speech}, dir + "/paplay.log");
  ASSERT_EQ(finishChild(say, 60000), 0) << readFile(dir + "/paplay.log");
  // Half a second more of the call (25 packets), then the queue's turn.
  size_t packets = media.packets();
  ASSERT_TRUE(waitUntil([&] { return media.packets() > packets + 25; }));
  int missing = 0;
  std::vector<double> sent = media.audio(missing);
  media.replay();
  ASSERT_TRUE(waitUntil([&] { return media.replayed(); }, 60000));
  size_t heardSoFar = recorded(speaker);
  ASSERT_TRUE(waitUntil([&] { return recorded(speaker) > heardSoFar + RATE / 2; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  stopRecording();

  std::vector<double> said = sounding(readSamples(feed));
  ASSERT_GT(said.size(), size_t(3 * RATE)) << "no speech in the microphone's feed";
  std::pair<long, double> out = bestMatch(said, sent);
  Windows outWindows = compareWindows(said, sent, out.first);
  std::vector<double> heard = readSamples(speaker), queueSaid = sounding(sent);
  std::pair<long, double> back = bestMatch(queueSaid, heard);
  Windows backWindows = compareWindows(queueSaid, heard, back.first);
  fprintf(
      stderr,
      "speech sent: similarity %.4f (200 ms windows: lowest %.3f, median %.3f), %d packets lost, "
      "%d of %d "
      "windows lost; speech heard: similarity %.4f (200 ms windows: lowest %.3f, median %.3f), "
      "%d of %d windows lost\n",
      out.second, outWindows.lowest, outWindows.median, missing, outWindows.dropouts,
      outWindows.count, back.second, backWindows.lowest, backWindows.median, backWindows.dropouts,
      backWindows.count);
  // The whole speech at one lag as well as window by window: a filter that
  // reshapes it (a high-pass cutting the voice's fundamental) lowers both.
  EXPECT_GE(out.second, 0.98) << "the speech the queue receives is altered";
  EXPECT_GE(outWindows.median, 0.98) << "the speech the queue receives is altered";
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(outWindows.dropouts, 0);
  // What the speaker plays goes through the jitter buffer and the sound
  // server's playback buffer, which a loaded machine stretches and trims:
  // most of the speech is heard as the queue sent it.
  EXPECT_GE(backWindows.median, 0.9) << "the speaker does not play the queue's speech";
  EXPECT_LE(backWindows.dropouts, backWindows.count / 4) << "most of the queue's speech is lost";
}

// The sound server stalls for half a second (a loaded machine) and then
// hands over what it recorded meanwhile: the speech goes on in the RTP clock
// without a jump, as the microphone took it. And the server is reached
// through the program's own client only.
TEST_F(SipVoice, StalledSoundServerLeavesTheRtpClockContinuous) {
  RtpPeer media(QUEUE);
  callQueue(0, media);
  ASSERT_TRUE(waitUntil([] { return currentCallIn({LinphoneCallStreamsRunning}); }));
  size_t packets = media.packets();
  ASSERT_TRUE(waitUntil([&] { return media.packets() > packets + 25; }));
  kill(soundServer, SIGSTOP);
  usleep(500 * 1000); // the stall itself, not a wait for something
  kill(soundServer, SIGCONT);
  packets = media.packets();
  ASSERT_TRUE(waitUntil([&] { return media.packets() > packets + 50; }));
  terminateCall();
  EXPECT_EQ(finishPeer(), 0);
  int missing = 0;
  media.audio(missing);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(media.timestampJumps(), 0) << "the RTP timestamps jumped after the stall";
  // The program's own PulseAudio client alone: ALSA, not probed while the
  // server's cards are there, has not loaded the system's through its plugin.
  EXPECT_EQ(readFile("/proc/self/maps").find("libpulse"), std::string::npos)
      << "the system's PulseAudio client was loaded";
}

} // namespace
