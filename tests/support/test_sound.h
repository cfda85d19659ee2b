// The sound devices the SIP core finds, for the core created after this: a
// private PulseAudio server whose one card is a null sink (its monitor is the
// microphone), or none at all. The library keeps its connection to the sound
// server for the life of the process, so one process (one ctest test) has one
// of the two.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

class TestSound {
public:
  TestSound() = default;
  // Stops the server and gives PULSE_SERVER and ALSA_CONFIG_PATH back.
  ~TestSound();
  TestSound(const TestSound &) = delete;
  TestSound &operator=(const TestSound &) = delete;

  // Starts the server in dir and points PULSE_SERVER at it; fails, saying
  // why, when it does not take connections within 10 s.
  ::testing::AssertionResult startNullSink(const std::string &dir);
  // No sound server (PULSE_SERVER names a socket nobody listens on) and no
  // ALSA device (ALSA reads an empty configuration from dir). Fails when the
  // machine has sound hardware, which ALSA finds whatever it is told.
  ::testing::AssertionResult removeAll(const std::string &dir);
  // After removeAll: a device appears, as a headset plugged in would. ALSA's
  // default device becomes the null sink of a server started in dir (the
  // library connects to a sound server only once, when it starts).
  ::testing::AssertionResult plugIn(const std::string &dir);

private:
  void keepEnvironment();
  ::testing::AssertionResult startServer(const std::string &dir, std::string &address);
  pid_t server = -1;
  bool saved = false;
  std::string pulseServer, alsaConfig;
  bool hadPulseServer = false, hadAlsaConfig = false;
  std::string ownAlsaConfig;
};
