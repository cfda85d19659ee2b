#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app_state.h"
#include "child_process.h"
#include "sip.h"
#include "sip_internal.h"
#include "sip_test_support.h"

namespace {

LinphoneProxyConfig *defaultAccount() {
  std::lock_guard<std::mutex> lock(coreMutex);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return app.core ? linphone_core_get_default_proxy_config(app.core) : nullptr;
#pragma GCC diagnostic pop
}

LinphoneGlobalState globalState() {
  std::lock_guard<std::mutex> lock(coreMutex);
  return linphone_core_get_global_state(app.core);
}

using SipAccount = SipTest;

TEST_F(SipAccount, RegistersAfterDigestChallengeInAFolderOfItsOwn) {
  ASSERT_TRUE(startPeer("registrar_challenge.xml", "127.0.3.1", 1,
                        {"-key", "user", "alice", "-key", "pass", "s3cr\xe9t"}));
  setupSipAccount("alice", "s3cr\xe9t", "127.0.3.1");
  ASSERT_NE(app.core, nullptr);
  EXPECT_EQ(globalState(), LinphoneGlobalOn);
  EXPECT_STREQ(app.identityUri, "sip:alice@127.0.3.1");
  EXPECT_EQ(app.identityAddress, nullptr);

  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  EXPECT_EQ(finishPeer(), 0) << "the registrar saw wrong or no credentials, or another User-Agent";

  // The core's files are this run's, in the temporary folder: nothing goes
  // into the user's folders, not even the library's own empty one. (The
  // sound server's client links its runtime folder from ~/.config/pulse when
  // the session names none, as this test's does not.)
  std::string home = getenv("HOME");
  for (const auto &entry : std::filesystem::recursive_directory_iterator(home))
    if (entry.path().string().rfind(home + "/.config", 0) != 0)
      ADD_FAILURE() << "written into HOME: " << entry.path();
  std::string data = linphone_factory_get_data_dir(linphone_factory_get(), nullptr);
  EXPECT_EQ(data.rfind(dir + "/tmp/dravik-tirn-", 0), 0u) << data;

  std::string out = output();
  const std::string progress = "Novo estado de registro LinphoneRegistrationProgress para o "
                               "usuario id [sip:alice@127.0.3.1] no proxy [sip:127.0.3.1]";
  const std::string ok = "Novo estado de registro LinphoneRegistrationOk para o usuario id "
                         "[sip:alice@127.0.3.1] no proxy [sip:127.0.3.1]";
  size_t at = out.find(ok);
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(out.find(progress), std::string::npos);
  EXPECT_LT(out.find(progress), at);
  // No line end after a report.
  if (at + ok.size() < out.size()) {
    EXPECT_NE(out[at + ok.size()], '\n');
  }

  // A second set-up changes nothing.
  LinphoneCore *core = app.core;
  setupSipAccount("bob", "x", "127.0.3.1");
  EXPECT_EQ(app.core, core);
  EXPECT_STREQ(app.identityUri, "sip:alice@127.0.3.1");
}

TEST_F(SipAccount, RefusedRegistrationIsReportedAndLeavesUnregistered) {
  ASSERT_TRUE(startPeer("registrar_refuses.xml", "127.0.3.2", 1));
  setupSipAccount("alice", "wrong", "127.0.3.2");
  const std::string failed = "Novo estado de registro LinphoneRegistrationFailed para o usuario "
                             "id [sip:alice@127.0.3.2] no proxy [sip:127.0.3.2]";
  ASSERT_TRUE(waitUntil([&] { return output().find(failed) != std::string::npos; }));
  EXPECT_EQ(finishPeer(), 0);
  EXPECT_FALSE(app.registered);
  SipReport report = sipReport();
  EXPECT_EQ(report.registration, REGISTRATION_FAILED);
  EXPECT_STREQ(report.registrationReason, "acesso negado (403)");
}

// A registrar that answers every REGISTER with 423: the library asks again
// with the interval it was told, and after the second refusal the report
// says the registration failed while the retries go on, ever more slowly.
TEST_F(SipAccount, RegistrarRefusingEveryIntervalIsNotFloodedAndTheFailureIsTold) {
  ASSERT_TRUE(startPeer("registrar_interval_too_brief.xml", "127.0.3.31", 0, traceMessages()));
  setupSipAccount("alice", "pw", "127.0.3.31");
  // Told by the library, with the registrar's refusal; the core's own "no
  // network" (this namespace has loopback alone) says no reason.
  bool failed = waitUntil([] {
    SipReport report = sipReport();
    return report.registration == REGISTRATION_FAILED &&
           std::string(report.registrationReason) == "intervalo recusado (423)";
  });
  int seen = requestsSeen("REGISTER");
  ASSERT_TRUE(failed) << seen << " REGISTERs and no refusal reported";
  // The first REGISTER and the one with the interval asked for; the next
  // retry waits seconds.
  EXPECT_LE(seen, 3);
  EXPECT_FALSE(app.registered);
  // The retries go on, and the report stays as it is.
  ASSERT_TRUE(waitUntil([&] { return requestsSeen("REGISTER") > seen; }));
  EXPECT_EQ(sipReport().registration, REGISTRATION_FAILED);
}

// A registrar that is unavailable for a while (503 with the time to try
// again) answered: the report says so, not that no answer came.
TEST_F(SipAccount, RegistrarUnavailableIsToldAsItsAnswer) {
  std::string scenario = fillScenario(
      "registrar_answers.xml",
      {{"[status]", "503"}, {"[phrase]", "Service Unavailable"}, {"[header]", "Retry-After: 5"}});
  ASSERT_TRUE(startPeer(scenario, "127.0.3.181", 0));
  setupSipAccount("alice", "pw", "127.0.3.181");
  ASSERT_TRUE(waitUntil([] { return sipReport().registration == REGISTRATION_FAILED; }));
  EXPECT_STREQ(sipReport().registrationReason, "servidor indispon\xedvel (503)");
  EXPECT_FALSE(app.registered);
}

// A registrar whose challenge asks for a protection of the message body
// (qop=auth-int), which the stack cannot compute: it asks again without
// credentials, and the refusal that follows is no verdict on the password.
TEST_F(SipAccount, ChallengeTheStackCannotAnswerIsNotBlamedOnTheCredentials) {
  std::string scenario = fillScenario(
      "registrar_answers.xml",
      {{"[status]", "401"},
       {"[phrase]", "Unauthorized"},
       {"[header]", "WWW-Authenticate: Digest realm=\"127.0.3.182\", nonce=\"6c1b8e2f4a5d\", "
                    "qop=\"auth-int\", algorithm=MD5"}});
  ASSERT_TRUE(startPeer(scenario, "127.0.3.182", 0, traceMessages()));
  setupSipAccount("alice", "pw", "127.0.3.182");
  ASSERT_TRUE(waitUntil([] { return sipReport().registration == REGISTRATION_FAILED; }));
  EXPECT_STREQ(sipReport().registrationReason, "servidor pede autentica\xe7\xe3o n\xe3o suportada");
  EXPECT_FALSE(app.registered);
}

// An identity that does not parse configures no account, registers nothing
// and leaves a core that the call functions still handle safely.
void expectNoAccount() {
  ASSERT_NE(app.core, nullptr);
  EXPECT_EQ(defaultAccount(), nullptr);
  EXPECT_STREQ(app.identityUri, "");
  EXPECT_EQ(app.identityAddress, nullptr);
  EXPECT_FALSE(app.registered);
  SipReport report = sipReport();
  EXPECT_EQ(report.registration, REGISTRATION_FAILED);
  EXPECT_STREQ(report.registrationReason, "conta inv\xe1lida");
}

TEST_F(SipAccount, EmptyUserConfiguresNoAccount) {
  setupSipAccount("", "", "127.0.3.9");
  expectNoAccount();
}

TEST_F(SipAccount, EmptyDomainConfiguresNoAccount) {
  setupSipAccount("alice", "pw", "");
  expectNoAccount();
}

// A domain made of labels, `length` characters long.
std::string longDomain(size_t length) {
  std::string domain;
  while (domain.size() < length)
    domain += domain.size() % 20 == 19 ? '.' : 'd';
  domain.back() = 'x';
  return domain;
}

TEST_F(SipAccount, IdentityTooLongForItsBufferConfiguresNoAccount) {
  std::string user(39, 'u');
  setupSipAccount(user.c_str(), "pw", longDomain(199).c_str());
  expectNoAccount();
}

TEST_F(SipAccount, IdentityOf199CharactersIsConfigured) {
  std::string domain = longDomain(199 - 4 - 1 - 5);
  setupSipAccount("alice", "pw", domain.c_str());
  std::string identity = "sip:alice@" + domain;
  ASSERT_EQ(identity.size(), 199u);
  EXPECT_EQ(std::string(app.identityUri), identity);
  LinphoneProxyConfig *account = defaultAccount();
  ASSERT_NE(account, nullptr);
  std::lock_guard<std::mutex> lock(coreMutex);
  EXPECT_EQ(std::string(linphone_proxy_config_get_server_addr(account)), "sip:" + domain);
}

// Everything here is decided when the core is created; no peer is needed.
TEST_F(SipAccount, CoreIsVoiceOnlyWithoutDatabasesOnOneRandomUdpPort) {
  namespace fs = std::filesystem;
  // A defaults file that an older version kept in the user's data folder is
  // not read.
  std::string oldData = std::string(getenv("HOME")) + "/.local/share/dravik-tirn";
  fs::create_directories(oldData);
  std::ofstream(oldData + "/core-defaults.conf") << "[video]\ncapture=1\ndisplay=1\n";
  setupSipAccount("alice", "pw", "127.0.3.9");
  ASSERT_NE(app.core, nullptr);
  ASSERT_EQ(globalState(), LinphoneGlobalOn);
  std::string data = linphone_factory_get_data_dir(linphone_factory_get(), nullptr);

  std::lock_guard<std::mutex> lock(coreMutex);
  EXPECT_FALSE(linphone_core_video_capture_enabled(app.core));
  EXPECT_FALSE(linphone_core_video_display_enabled(app.core));

  // Call logs, chats, contacts and encryption secrets: no database at all,
  // nor any other file of the program's but its ringing tone: 3 s of 16-bit
  // samples at 8 kHz after the header.
  std::vector<std::string> files;
  for (const auto &entry : fs::recursive_directory_iterator(data))
    if (entry.is_regular_file())
      files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"ringback.wav"}));
  EXPECT_EQ(fs::file_size(data + "/ringback.wav"), 44u + 3 * 8000 * 2);
  // The tone's 1 s fades in and out over 20 ms: its first and last 10 ms
  // reach at most half its full level.
  std::ifstream wav(data + "/ringback.wav", std::ios::binary);
  std::vector<int16_t> tone(8000);
  wav.seekg(44);
  wav.read(reinterpret_cast<char *>(tone.data()), 8000 * 2);
  auto peak = [&](int from, int to) {
    int most = 0;
    for (int i = from; i < to; ++i)
      most = std::max(most, std::abs(int(tone[i])));
    return most;
  };
  int full = peak(400, 7600);
  EXPECT_GT(full, 10000);
  EXPECT_LE(peak(0, 80), full / 2 + 50);
  EXPECT_LE(peak(7920, 8000), full / 2 + 50);
  // No call may be added but the program's own, and no history is kept.
  EXPECT_EQ(linphone_core_get_max_calls(app.core), 0);
  // The program's own media plugin folder, with nothing in it.
  EXPECT_TRUE(fs::is_empty(data + "/media-plugins"));

  // Built into the media library, so still there without any plugin.
  std::vector<std::string> codecs;
  bctbx_list_t *types = linphone_core_get_audio_payload_types(app.core);
  for (bctbx_list_t *at = types; at; at = bctbx_list_next(at))
    codecs.push_back(
        linphone_payload_type_get_mime_type(static_cast<LinphonePayloadType *>(at->data)));
  bctbx_list_free_with_data(types,
                            reinterpret_cast<bctbx_list_free_func>(linphone_payload_type_unref));
  for (const char *codec : {"opus", "speex", "PCMU", "PCMA"})
    EXPECT_NE(std::find(codecs.begin(), codecs.end(), codec), codecs.end()) << codec;
  // The echo canceller is on (for loudspeakers); Opus at the bit rate of a
  // clear voice.
  EXPECT_TRUE(linphone_core_echo_cancellation_enabled(app.core));
  LinphonePayloadType *opus = linphone_core_get_payload_type(app.core, "opus", 48000, 2);
  ASSERT_NE(opus, nullptr);
  EXPECT_EQ(linphone_payload_type_get_normal_bitrate(opus), 80);
  linphone_payload_type_unref(opus);

  // SIP over UDP alone, on a port the system chose; nothing on TCP or TLS.
  LinphoneTransports *used = linphone_core_get_transports_used(app.core);
  EXPECT_GT(linphone_transports_get_udp_port(used), 0);
  EXPECT_NE(linphone_transports_get_udp_port(used), 5060);
  EXPECT_EQ(linphone_transports_get_tcp_port(used), 0);
  EXPECT_EQ(linphone_transports_get_tls_port(used), 0);
  linphone_transports_unref(used);
}

// A home folder that cannot be written takes nothing away: the core keeps
// its files in a new folder of its own in the temporary folder, registers and
// calls; a run that ends takes its folder with it.
TEST_F(SipAccount, WithoutAWritableHomeTheCoreStillRegistersAndCalls) {
  // HOME is a plain file: no data folder can be made under it.
  std::string home = dir + "/home-file";
  std::ofstream(home) << "x";
  setenv("HOME", home.c_str(), 1);
  std::string temp = dir + "/tmp";
  std::filesystem::create_directory(temp);
  const char *savedTemp = getenv("TMPDIR");
  std::string saved = savedTemp ? savedTemp : "";
  setenv("TMPDIR", temp.c_str(), 1);
  // A whole run in a child process: it makes its folder there, and exits.
  EXPECT_EXIT(
      {
        setupSipAccount("alice", "pw", "127.0.3.11");
        std::exit(app.core && !std::filesystem::is_empty(temp) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(std::filesystem::is_empty(temp)) << "the ended run left its folder";
  ASSERT_TRUE(
      startPeer(fillScenario("queue_refuses.xml", {{"[status]", "486"}, {"[phrase]", "Busy Here"}}),
                "127.0.3.11", 2));
  setupSipAccount("alice", "pw", "127.0.3.11");
  ASSERT_NE(app.core, nullptr);
  EXPECT_EQ(globalState(), LinphoneGlobalOn);
  ASSERT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall("127.0.3.11");
  EXPECT_TRUE(waitUntil([] { return sipReport().call == CALL_BUSY; }));
  EXPECT_FALSE(app.callInProgress);
  if (savedTemp)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

// A domain with a port registers and calls at that port, not at 5060, where
// a registrar that would refuse the account listens.
TEST_F(SipAccount, DomainWithAPortRegistersAndCallsAtThatPort) {
  const std::string ip = "127.0.3.10";
  ASSERT_TRUE(startPeer("registrar_refuses.xml", ip, 0,
                        {"-trace_msg", "-message_file", dir + "/sipp-5060.msg"}));
  std::string queue =
      fillScenario("queue_refuses.xml", {{"[status]", "486"}, {"[phrase]", "Busy Here"}});
  pid_t atPort = spawnLogged({"sipp", "-sf", queue, "-i", ip, "-mi", ip, "-p", "5070", "-nostdin",
                              "-m", "2", "-trace_msg", "-message_file", dir + "/sipp-5070.msg"},
                             dir + "/sipp-5070.log");
  std::string domain = ip + ":5070";
  setupSipAccount("alice", "pw", domain.c_str());
  EXPECT_TRUE(waitUntil([] { return app.registered.load(); }));
  textCopy(app.calleeUser, "fila");
  placeCall(domain.c_str());
  EXPECT_TRUE(waitUntil([] { return sipReport().call == CALL_BUSY; }));
  EXPECT_EQ(finishChild(atPort, 10000), 0) << "the REGISTER or the INVITE did not reach :5070";
  EXPECT_EQ(readFile(dir + "/sipp-5060.msg").find("sip:"), std::string::npos)
      << "something went to :5060";
}

// The same with a bracketed IPv6 address.
TEST_F(SipAccount, Ipv6DomainWithAPortRegistersThere) {
  pid_t atPort =
      spawnLogged({"sipp", "-sf", SCENARIO_DIR "/registrar_challenge.xml", "-i", "::1", "-p",
                   "5070", "-nostdin", "-m", "1", "-key", "user", "alice", "-key", "pass", "pw"},
                  dir + "/sipp-5070.log");
  setupSipAccount("alice", "pw", "[::1]:5070");
  EXPECT_TRUE(waitUntil([] { return app.registered.load(); }));
  EXPECT_EQ(finishChild(atPort, 10000), 0);
}

} // namespace
