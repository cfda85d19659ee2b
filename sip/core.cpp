// The one SIP core: its settings, its data folders, its creation, keeping the
// heap small, and its iteration on the worker thread.
#include "sip_internal.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "app_state.h"
#include "periodic_worker.h"

std::mutex coreMutex;

namespace {
// Set once the program holds the core for good, at its end.
bool coreHeldForGood = false;
void holdCoreAtExit() {
  if (!coreHeldForGood)
    coreMutex.lock();
}

const char *const DATA_DIR_NAME = "dravik-tirn";
// Media plugins the core loads: a folder of the program's own, left empty, so
// that none of the system's (video among them) is loaded. The audio codecs are
// built into the media library and stay available.
const char *const MEDIA_PLUGIN_DIR_NAME = "media-plugins";

// This run's folder in the system's temporary folder: the core's data folder,
// which holds only what the run makes (the ringing tone, the empty plugin
// folder). Removed when the program ends, so that the only file a customer
// keeps is key.txt. The library's own default (a "linphone" folder in the
// user's data folder, shared with every program built on it) is never asked
// for: asking makes it.
std::string temporaryDataDir;
void removeTemporaryDataDir() {
  std::error_code ec;
  if (!temporaryDataDir.empty())
    std::filesystem::remove_all(temporaryDataDir, ec);
}

// Made here, new, so that nobody else's files (media plugins above all) are
// in it. Ends with '/'. False when no such folder can be made.
bool prepareDataDir(std::string &dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec)
    return false;
  std::random_device random;
  for (int attempt = 0; attempt < 10; ++attempt) {
    fs::path own = temp / (std::string(DATA_DIR_NAME) + "-" + std::to_string(random()));
    if (!fs::create_directory(own, ec))
      continue; // taken (or not makeable): another name
    fs::permissions(own, fs::perms::owner_all, ec);
    temporaryDataDir = own.string();
    std::atexit(removeTemporaryDataDir);
    if (!fs::create_directory(own / MEDIA_PLUGIN_DIR_NAME, ec))
      return false;
    // The library joins file names to this text without a separator.
    dir = own.string() + '/';
    return true;
  }
  return false;
}

} // namespace

void removeSipRunFolder() { removeTemporaryDataDir(); }

namespace {

// The core's defaults, given to it when it is created (no file: they do not
// depend on a folder that can be written). A voice-only phone that
// places calls: no video, no databases (nothing here reads call logs, chats,
// contacts or keeps encryption secrets), and SIP over UDP alone on a port the
// system picks, so that start-up never tries 5060 or a TLS port that a second
// instance or another phone on this host may hold. A TCP listener would only
// take connections from outside: the account's requests go to its domain
// over UDP whatever their size. No call may be added (placeCall opens
// room for its own), so that the core refuses a call coming in with 486 Busy
// Here before it creates anything for it (no call, no ringing, no media
// ports), and keeps no history of the calls it refused.
// The echo canceller is on, for customers on a loudspeaker; it also paces
// the loudspeaker by the microphone. Our build of its filter keeps the
// voice's low end, which the stock one cut from the customer's speech on
// its way out. Opus gets the bit rate of a clear voice (64 kbit/s of audio
// instead of 34). The jitter buffer stops at 100 ms: beyond that a late
// packet is better lost than the whole conversation delayed.
const char CORE_DEFAULTS[] = "[sip]\n"
                             "sip_port=-1\n"
                             "sip_tcp_port=0\n"
                             "sip_tls_port=0\n"
                             "[rtp]\n"
                             "audio_rtp_port=-1\n"
                             "jitter_buffer_max_size=100\n"
                             "[sound]\n"
                             "echocancellation=1\n"
                             "[audio_codec_0]\n"
                             "mime=opus\n"
                             "rate=48000\n"
                             "channels=2\n"
                             "recv_fmtp=useinbandfec=1\n"
                             "bitrate=80000\n"
                             "[video]\n"
                             "capture=0\n"
                             "display=0\n"
                             "automatically_initiate=0\n"
                             "automatically_accept=0\n"
                             "[storage]\n"
                             "uri=null\n"
                             "call_logs_db_uri=null\n"
                             "zrtp_secrets_db_uri=null\n"
                             "friends_db_uri=null\n"
                             "[lime]\n"
                             "enabled=0\n"
                             "[misc]\n"
                             "max_calls=0\n"
                             "history_max_size=0\n";

// The User-Agent of every request: the program and its version, then the
// SIP library's, so that a PBX's administrator sees who calls.
void nameUserAgent(LinphoneCore *core) {
  std::string version =
      std::string(PROGRAM_VERSION) + " (liblinphone/" + linphone_core_get_version() + ")";
  linphone_core_set_user_agent(core, "Dravik Tirn", version.c_str());
}

// Before the core and its worker exist. The worker allocates a little every
// 10 ms; in a malloc arena of its own that held ~0.8 MB of freed pages the
// main heap would have reused. A fixed trim threshold (glibc's default value)
// keeps free memory at the top of the heap going back to the system, which
// glibc stops doing once it has raised the threshold after a large free.
void keepHeapSmall() {
#ifdef __GLIBC__
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
}

// G.722 is built in but not offered by default; many PBXs prefer it. The
// other formats offered stay as they are.
void offerG722(LinphoneCore *core) {
  bctbx_list_t *formats = linphone_core_get_audio_payload_types(core);
  for (bctbx_list_t *at = formats; at; at = bctbx_list_next(at)) {
    LinphonePayloadType *format = static_cast<LinphonePayloadType *>(bctbx_list_get_data(at));
    if (linphone_payload_type_get_number(format) == 9 &&
        std::strcmp(linphone_payload_type_get_mime_type(format), "G722") == 0)
      linphone_payload_type_enable(format, TRUE);
  }
  bctbx_list_free_with_data(formats, [](void *format) {
    linphone_payload_type_unref(static_cast<LinphonePayloadType *>(format));
  });
}
} // namespace

void publishSoundDevices(LinphoneCore *core) {
  publishSound(linphone_core_get_capture_device(core) != nullptr,
               linphone_core_get_playback_device(core) != nullptr);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

LinphoneCore *startCore(LinphoneCoreVTable *table, bool watchNetwork) {
  keepHeapSmall();
  std::string dataDir;
  if (!prepareDataDir(dataDir)) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "sem pasta para os dados");
    return nullptr; // the core would load whatever media plugins the system has
  }
  LinphoneFactory *factory = linphone_factory_get();
  linphone_factory_set_data_dir(factory, dataDir.c_str());
  linphone_factory_set_msplugins_dir(factory, (dataDir + MEDIA_PLUGIN_DIR_NAME).c_str());

  linphone_core_enable_logs(nullptr);
  LinphoneConfig *defaults = linphone_config_new_from_buffer(CORE_DEFAULTS);
  if (defaults && !watchNetwork)
    linphone_config_set_int(defaults, "sip", "auto_net_state_mon", 0);
  LinphoneCore *core = defaults ? linphone_core_new_with_config(table, defaults, nullptr) : nullptr;
  if (defaults)
    linphone_config_unref(defaults);
  if (!core) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "falha ao iniciar o SIP");
    return nullptr;
  }
  app.core = core;
  // Not looking for a network, the core does not know it has one.
  if (!watchNetwork)
    linphone_core_set_network_reachable(core, 1);
  if (linphone_core_get_global_state(core) != LinphoneGlobalOn) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "falha ao iniciar o SIP");
    return nullptr;
  }
  // Nothing here shows text messages: a MESSAGE is refused (488) rather than
  // accepted and silently dropped, so that its sender knows.
  linphone_core_disable_chat(core, LinphoneReasonNotAcceptable);
  useOwnRingback(core, dataDir);
  nameUserAgent(core);
  offerG722(core);
  publishSoundDevices(core);
  return core;
}

#pragma GCC diagnostic pop

void runCore(LinphoneCore *core) {
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    linphone_core_iterate(core);
  }
  // At exit the library's own static objects are torn down while the worker
  // would go on iterating, and the core then aborts. This runs before that
  // teardown and keeps the worker out of the core until the process is gone.
  std::atexit(holdCoreAtExit);
  startPeriodicWorker(iterateCore, 10);
}

void holdSipCoreForGood() {
  if (coreHeldForGood)
    return;
  coreMutex.lock();
  coreHeldForGood = true;
}

void iterateCore() {
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    if (app.core)
      linphone_core_iterate(app.core);
    afterIteration();
  }
#ifdef __GLIBC__
  // What the library frees after a burst of traffic (a flood of calls it
  // refused, say) lies between pages still in use, which glibc hands back to
  // the system only when asked. Every 3000 cycles: some 30 s.
  static unsigned cycles = 0;
  if (++cycles % 3000 == 0)
    malloc_trim(0);
#endif
}
