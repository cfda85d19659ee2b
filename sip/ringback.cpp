// The ringing tone the customer hears while the queue rings: made here and
// written into this run's data folder, so that every installation has it.
#include "sip_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

std::string wavFile(const std::vector<int16_t> &samples, unsigned rate) {
  std::string wav;
  auto put = [&](unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      wav += char((value >> (8 * i)) & 0xff);
  };
  const unsigned size = unsigned(samples.size()) * 2;
  wav += "RIFF";
  put(36 + size, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(size, 4);
  for (int16_t sample : samples)
    put(uint16_t(sample), 2);
  return wav;
}

namespace {
// The ringing tone the customer hears while the queue rings without sending
// audio of its own: Brazil's, 425 Hz, 1 s on and 4 s off. The library loops
// the file with a pause of 2 s after each play, so the file holds 1 s of tone
// and 2 s of silence. 16-bit mono at 8 kHz, -10 dBFS while it sounds,
// with 20 ms ramps so that the tone starts and ends softly, without a click.
std::string ringbackWav() {
  const double pi = std::acos(-1.0);
  const unsigned rate = 8000, toneSamples = rate, ramp = rate / 50;
  std::vector<int16_t> samples(3 * rate, 0);
  for (unsigned i = 0; i < toneSamples; ++i) {
    unsigned edge = std::min(i, toneSamples - 1 - i);
    double gain = edge < ramp ? 0.5 - 0.5 * std::cos(pi * edge / ramp) : 1.0;
    samples[i] = int16_t(std::lround(0.32 * 32767 * gain * std::sin(2 * pi * 425 * i / rate)));
  }
  return wavFile(samples, rate);
}

} // namespace

// Writes the ringing tone into this run's data folder and hands it to the
// core, which otherwise looks for a file of the library's own that not every
// installation has, and then plays nothing.
void useOwnRingback(LinphoneCore *core, const std::string &dataDir) {
  const std::string path = dataDir + "ringback.wav";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << ringbackWav();
  out.close();
  if (out)
    linphone_core_set_ringback(core, path.c_str());
}
