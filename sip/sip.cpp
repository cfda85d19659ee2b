#include "sip.h"
// Before anything that brings in windows.h: the library's headers need
// winsock2.h first on Windows.
#include "sip_internal.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "app_state.h"
#include "periodic_worker.h"

std::mutex coreMutex;

namespace {
// The callback table the core is created from; `app.coreVTable` points here.
LinphoneCoreVTable coreVTableStorage = {};
bool setupDone = false;

void holdCoreAtExit() { coreMutex.lock(); }

// The report the status line is made from, written on any thread.
std::mutex reportMutex;
SipReport report = {REGISTRATION_PENDING, "", CALL_NONE, 0, false};

// Records a change and tells the main window; posting is all this thread
// does with the window, so it never waits for the window thread.
template <typename Change> void publish(Change change) {
  {
    std::lock_guard<std::mutex> lock(reportMutex);
    change(report);
  }
  if (app.mainWindow)
    PostMessageA(app.mainWindow, WM_SIP_CHANGED, 0, 0);
}

void publishRegistration(RegistrationView view, const char *reason = "") {
  publish([view, reason](SipReport &r) {
    if (r.registration == view && std::strcmp(r.registrationReason, reason) == 0)
      return; // a refresh that changed nothing
    r.registration = view;
    textCopy(r.registrationReason, reason);
    r.callNewer = false;
  });
}

void publishCall(CallView view, int code = 0) {
  publish([view, code](SipReport &r) {
    r.call = view;
    r.callCode = code;
    r.callNewer = true;
  });
}

// The status code of the far side's answer; 0 when none came: the library
// reports a time-out or an unreachable peer with codes of its own.
int answerCode(const LinphoneErrorInfo *info) {
  if (!info)
    return 0;
  switch (linphone_error_info_get_reason(info)) {
  case LinphoneReasonNoResponse:
  case LinphoneReasonIOError:
  case LinphoneReasonNotAnswered:
    return 0;
  default:
    break;
  }
  int code = linphone_error_info_get_protocol_code(info);
  return code >= 300 ? code : 0;
}

// The registrar's answer, "403 Forbidden"; empty when none came.
void registrarReason(LinphoneProxyConfig *config, char (&out)[REASON_CAP]) {
  textCopy(out, "");
  const LinphoneErrorInfo *info = config ? linphone_proxy_config_get_error_info(config) : nullptr;
  int code = answerCode(info);
  if (!code)
    return;
  const char *phrase = linphone_error_info_get_phrase(info);
  std::snprintf(out, REASON_CAP, "%d %s", code, phrase ? phrase : "");
}

// The program's call was answered (it went through the connected state).
bool currentCallAnswered = false;

// How the program's own call ended, as the status line tells it: `failed`
// for the error state. A queue that declines ends the call in the end state,
// with its reason. An answered call that ends on a transport error lost its
// connection: the audio stopped arriving (the library's no-RTP time-out) or
// the signalling went.
CallView endedCallView(LinphoneCall *call, bool failed, int &code) {
  LinphoneReason reason = linphone_call_get_reason(call);
  code = answerCode(linphone_call_get_error_info(call));
  if (reason == LinphoneReasonBusy)
    return CALL_BUSY;
  if (reason == LinphoneReasonDeclined)
    return CALL_DECLINED;
  if (currentCallAnswered && answerLacksRequiredEncryption(call))
    return CALL_NOT_SECURE;
  if (currentCallAnswered && reason == LinphoneReasonIOError)
    return CALL_LOST;
  return failed ? CALL_FAILED : CALL_ENDED;
}

// References on calls the program has let go of, released only once the
// library has returned from the iteration, invitation or termination in
// which they were let go: released inside it, the last reference could take
// the call away while the library is still handling it (sending the
// acknowledgement of the answer that ended it, say).
std::vector<LinphoneCall *> forgottenCalls;

// The program's call is over: the flag is cleared and the handle forgotten,
// so whatever reports the same call afterwards finds nothing to release.
// Runs with `coreMutex` held.
void forgetCurrentCall() {
  LinphoneCall *call = app.currentCall;
  app.callInProgress = false;
  app.currentCall = nullptr;
  if (call)
    forgottenCalls.push_back(call);
}

// With `coreMutex` held, outside any call into the library.
void releaseForgottenCalls() {
  for (LinphoneCall *call : forgottenCalls)
    linphone_call_unref(call);
  forgottenCalls.clear();
}

// The library reads one SIP message per iteration, so a burst of them (a
// flood of calls coming in, say) would wait a worker period each. The core's
// UDP sockets for SIP, found once it listens, tell whether more are waiting.
#ifdef __linux__
std::vector<int> sipSockets;
int sipPort = 0;

// A UDP socket bound to the SIP port.
bool isSipSocket(int fd) {
  struct stat info;
  int type = 0;
  socklen_t typeSize = sizeof type;
  sockaddr_storage address{};
  socklen_t addressSize = sizeof address;
  if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode) ||
      getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeSize) != 0 || type != SOCK_DGRAM ||
      getsockname(fd, reinterpret_cast<sockaddr *>(&address), &addressSize) != 0)
    return false;
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port) == sipPort;
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port) == sipPort;
  return false;
}

void findSipSockets(LinphoneCore *core) {
  LinphoneTransports *used = linphone_core_get_transports_used(core);
  sipPort = linphone_transports_get_udp_port(used);
  linphone_transports_unref(used);
  sipSockets.clear();
  for (int fd = 0; sipPort > 0 && fd < 1024; ++fd)
    if (isSipSocket(fd))
      sipSockets.push_back(fd);
}

// Should the library have opened its sockets anew, they are looked for again.
bool sipInputWaiting() {
  pollfd waiting[4]; // the core has one or two: nothing allocated per cycle
  nfds_t count = 0;
  for (int fd : sipSockets)
    if (count < 4)
      waiting[count++] = {fd, POLLIN, 0};
  if (count == 0 || poll(waiting, count, 0) <= 0)
    return false;
  for (nfds_t i = 0; i < count; ++i)
    if ((waiting[i].revents & POLLIN) && !isSipSocket(waiting[i].fd)) {
      findSipSockets(app.core);
      return false;
    }
  return true;
}
#else
void findSipSockets(LinphoneCore *) {}
bool sipInputWaiting() { return false; }
#endif

const char *const DATA_DIR_NAME = "dravik-tirn";
// Media plugins the core loads: a folder of the program's own, left empty, so
// that none of the system's (video among them) is loaded. The audio codecs are
// built into the media library and stay available.
const char *const MEDIA_PLUGIN_DIR_NAME = "media-plugins";

// The folder of the program's own files beside the library's default,
// created when missing. Ends with '/'. False when it cannot be created.
bool prepareDataDir(std::string &dir) {
  namespace fs = std::filesystem;
  const char *libraryDir = linphone_factory_get_data_dir(linphone_factory_get(), nullptr);
  if (!libraryDir || !*libraryDir)
    return false;
  // The library's default is a "linphone" folder in the user's data folder,
  // shared with every program built on it: use a sibling of our own.
  fs::path base = fs::path(libraryDir);
  if (!base.has_filename())
    base = base.parent_path();
  fs::path own = base.parent_path() / DATA_DIR_NAME;
  std::error_code ec;
  fs::create_directories(own / MEDIA_PLUGIN_DIR_NAME, ec);
  if (!fs::is_directory(own / MEDIA_PLUGIN_DIR_NAME, ec))
    return false;
  // The library joins file names to this text without a separator.
  dir = own.string() + '/';
  return true;
}

// This run's folder in the system's temporary folder, if it has one: removed
// when the program ends (after the core is held), so runs leave nothing there.
std::string temporaryDataDir;
void removeTemporaryDataDir() {
  std::error_code ec;
  std::filesystem::remove_all(temporaryDataDir, ec);
}

// When the program's own folder cannot be made (a home folder that cannot be
// written, say), a new one of this run's in the system's temporary folder:
// made here, so that nobody else's files (media plugins above all) are in it.
bool prepareTemporaryDataDir(std::string &dir) {
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
    dir = own.string() + '/';
    return true;
  }
  return false;
}

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
const char CORE_DEFAULTS[] = "[sip]\n"
                             "sip_port=-1\n"
                             "sip_tcp_port=0\n"
                             "sip_tls_port=0\n"
                             "[rtp]\n"
                             "audio_rtp_port=-1\n"
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

} // namespace

// Silenced only for these: the callback-table interface (the core's creation
// from it included), the identity query of the report and the call
// termination are deprecated in this generation of the library.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

void onRegistrationStateChanged(LinphoneCore *, LinphoneProxyConfig *config,
                                LinphoneRegistrationState state, const char *) {
  const char *name = linphone_registration_state_to_string(state);
  const char *identity = linphone_proxy_config_get_identity(config);
  const char *server = linphone_proxy_config_get_server_addr(config);
  printf("Novo estado de registro %s para o usuario id [%s] no proxy [%s]", name ? name : "",
         identity ? identity : "", server ? server : "");
  fflush(stdout);
  if (state == LinphoneRegistrationOk) {
    app.registered = true;
    publishRegistration(REGISTRATION_OK);
  } else if (state == LinphoneRegistrationProgress) {
    // A refresh of an accepted registration is no news for the user.
    if (sipReport().registration != REGISTRATION_OK)
      publishRegistration(REGISTRATION_PENDING);
  } else if (state == LinphoneRegistrationFailed) {
    char reason[REASON_CAP];
    registrarReason(config, reason);
    publishRegistration(REGISTRATION_FAILED, reason);
  } else if (state == LinphoneRegistrationNone || state == LinphoneRegistrationCleared) {
    // The library drops an attempt it gives up on without a failure (no
    // network left but loopback, say): the account is not registered, and
    // "Registrando conta..." must not stay on screen for ever.
    RegistrationView shown = sipReport().registration;
    if (shown != REGISTRATION_FAILED && shown != REGISTRATION_UNAVAILABLE)
      publishRegistration(REGISTRATION_FAILED);
  }
}

SipReport sipReport() {
  std::lock_guard<std::mutex> lock(reportMutex);
  return report;
}

// Before the core and its worker exist. The worker allocates a little every
// 10 ms; in a malloc arena of its own that held ~0.8 MB of freed pages the
// main heap would have reused. A fixed trim threshold (glibc's default value)
// keeps free memory at the top of the heap going back to the system, which
// glibc stops doing once it has raised the threshold after a large free.
static void keepHeapSmall() {
#ifdef __GLIBC__
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
}

void setupSipAccount(const char *user, const char *password, const char *domain) {
  if (setupDone)
    return;
  setupDone = true;
  keepHeapSmall();
  std::string dataDir;
  if (!prepareDataDir(dataDir) && !prepareTemporaryDataDir(dataDir)) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "sem pasta para os dados");
    return; // the core would load whatever media plugins the system has
  }
  LinphoneFactory *factory = linphone_factory_get();
  linphone_factory_set_data_dir(factory, dataDir.c_str());
  linphone_factory_set_msplugins_dir(factory, (dataDir + MEDIA_PLUGIN_DIR_NAME).c_str());

  linphone_core_enable_logs(nullptr);
  app.coreVTable = &coreVTableStorage;
  coreVTableStorage.registration_state_changed = onRegistrationStateChanged;
  // The core copies the table when it is created, so the call-state handler
  // has to be in it now; it ignores every call but the one placed here.
  coreVTableStorage.call_state_changed = onCallStateChanged;
  LinphoneConfig *defaults = linphone_config_new_from_buffer(CORE_DEFAULTS);
  LinphoneCore *core =
      defaults ? linphone_core_new_with_config(&coreVTableStorage, defaults, nullptr) : nullptr;
  if (defaults)
    linphone_config_unref(defaults);
  if (!core) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "falha ao iniciar o SIP");
    return;
  }
  app.core = core;
  if (linphone_core_get_global_state(core) != LinphoneGlobalOn) {
    publishRegistration(REGISTRATION_UNAVAILABLE, "falha ao iniciar o SIP");
    return;
  }
  secureSipTransport(core);

  app.proxyConfig = linphone_core_create_proxy_config(core);
  // An identity that does not fit whole, or does not parse into a user and a
  // domain, configures no account.
  bool fits = textAppend(app.identityUri, "sip:") && textAppend(app.identityUri, user) &&
              textAppend(app.identityUri, "@") && textAppend(app.identityUri, domain);
  app.identityAddress = fits ? linphone_address_new(app.identityUri) : nullptr;
  // The registrar is the domain as granted, port included; one the library
  // cannot take registers nothing, and the status line says so at once.
  if (!app.identityAddress || !linphone_address_get_username(app.identityAddress) ||
      !linphone_address_get_domain(app.identityAddress) ||
      linphone_proxy_config_set_server_addr(app.proxyConfig, sipServerAddress(domain).c_str()) !=
          0) {
    if (app.identityAddress)
      linphone_address_unref(app.identityAddress);
    app.identityAddress = nullptr;
    textCopy(app.identityUri, "");
    publishRegistration(REGISTRATION_FAILED, "conta inválida");
  } else {
    if (password) {
      app.authInfo = linphone_auth_info_new(user, nullptr, password, nullptr, nullptr, domain);
      linphone_core_add_auth_info(core, app.authInfo);
    }
    linphone_proxy_config_set_identity_address(app.proxyConfig, app.identityAddress);
    routeThroughServer(app.proxyConfig, domain);
    linphone_proxy_config_enable_register(app.proxyConfig, 1);
    linphone_address_destroy(app.identityAddress);
    app.identityAddress = nullptr;
    linphone_core_add_proxy_config(core, app.proxyConfig);
    linphone_core_set_default_proxy_config(core, app.proxyConfig);
  }
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    linphone_core_iterate(core);
    findSipSockets(core);
  }
  // At exit the library's own static objects are torn down while the worker
  // would go on iterating, and the core then aborts. This runs before that
  // teardown and keeps the worker out of the core until the process is gone.
  std::atexit(holdCoreAtExit);
  startPeriodicWorker(iterateCore, 10);
}

void terminateCall() {
  app.callInProgress = false;
  std::lock_guard<std::mutex> lock(coreMutex);
  LinphoneCall *call = app.currentCall;
  if (!call || !app.core)
    return;
  linphone_core_terminate_call(app.core, call);
  // The end state is normally raised inside the termination, which then
  // forgot the call already.
  if (app.currentCall == call) {
    forgetCurrentCall();
    publishCall(CALL_ENDED);
  }
  releaseForgottenCalls();
}

#pragma GCC diagnostic pop

void iterateCore() {
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    if (app.core) {
      linphone_core_iterate(app.core);
      // While SIP messages wait, iterations follow at once, up to a bound
      // that leaves the window thread its turn at the core.
      for (int more = 0; more < 100 && sipInputWaiting(); ++more)
        linphone_core_iterate(app.core);
    }
    releaseForgottenCalls();
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

namespace {
// Nobody answers a call coming in to this program, which only calls out.
// The core refuses them before it creates a call (see CORE_DEFAULTS); one
// that reaches this far all the same is declined with 486 Busy Here the
// moment it arrives, before the core rings for it or tells the caller it
// rings. True for every state of an incoming call; the program's own call
// state is never touched by one.
bool declineIncomingCall(LinphoneCall *call, LinphoneCallState state) {
  if (!call || linphone_call_get_dir(call) != LinphoneCallIncoming)
    return false;
  if (state == LinphoneCallIncomingReceived)
    linphone_call_decline(call, LinphoneReasonBusy);
  return true;
}
} // namespace

// Runs with `coreMutex` held (inside an iteration, an invitation or a
// termination). Only the call the program placed, and holds a reference on,
// is followed. A failed call ends in the error state and then the released
// one, without the end state: whichever of the three comes first ends the
// program's call, once. The flag is cleared before the news goes to the
// window, so that the window never reads the flag of the call that ended.
void onCallStateChanged(LinphoneCore *, LinphoneCall *call, LinphoneCallState state, const char *) {
  if (declineIncomingCall(call, state))
    return;
  if (!call || call != app.currentCall)
    return;
  switch (state) {
  case LinphoneCallConnected:
    currentCallAnswered = true;
    app.callInProgress = true;
    publishCall(CALL_CONNECTED);
    break;
  case LinphoneCallError:
  case LinphoneCallEnd:
  case LinphoneCallReleased: {
    int code = 0;
    CallView view = endedCallView(call, state == LinphoneCallError, code);
    forgetCurrentCall();
    publishCall(view, code);
    break;
  }
  default:
    break;
  }
}

// A call that cannot be placed (a target that does not fit or does not
// parse, no core, an invitation refused at once) sends nothing and leaves no
// call in progress; the status line says so.
void placeCall(const char *domain) {
  app.callInProgress = true;
  publishCall(CALL_CALLING);
  bool fits = textCopy(app.calleeUri, "") && textAppend(app.calleeUri, "sip:") &&
              textAppend(app.calleeUri, app.calleeUser) && textAppend(app.calleeUri, "@") &&
              textAppend(app.calleeUri, domain);
  if (!fits)
    textCopy(app.calleeUri, ""); // no partial target is ever invited
  std::lock_guard<std::mutex> lock(coreMutex);
  if (app.currentCall) // an earlier call the program still holds
    forgetCurrentCall();
  app.callInProgress = true;
  app.calleeAddress = fits && app.core ? linphone_address_new(app.calleeUri) : nullptr;
  if (!app.calleeAddress || !linphone_address_get_username(app.calleeAddress)) {
    if (app.calleeAddress)
      linphone_address_unref(app.calleeAddress);
    app.calleeAddress = nullptr;
    app.callInProgress = false;
    publishCall(CALL_NOT_PLACED);
    return;
  }
  // Room for this one call while it is created; the call then fills it.
  linphone_core_set_max_calls(app.core, 1);
  LinphoneCall *call = linphone_core_invite_address(app.core, app.calleeAddress);
  linphone_core_set_max_calls(app.core, 0);
  linphone_address_unref(app.calleeAddress);
  app.calleeAddress = nullptr;
  if (!call) {
    app.callInProgress = false;
    publishCall(CALL_FAILED);
    return;
  }
  linphone_call_ref(call);
  app.currentCall = call;
  currentCallAnswered = false;
  // A call that already failed inside the invitation was not yet the
  // program's when the library reported it.
  LinphoneCallState now = linphone_call_get_state(call);
  if (now == LinphoneCallError || now == LinphoneCallEnd || now == LinphoneCallReleased)
    onCallStateChanged(app.core, call, now, nullptr);
}

#if defined(__GLIBC__) && !defined(SIP_STACK_PATCHED)
// Debian's package only (the stack we build carries the same guard in its
// own patch): a guard in front of one function of the SIP stack under the
// call library.
// When the library cannot accept a queue's answer (plain audio where SRTP is
// required, say) it hangs up while still handling that answer; when the
// hang-up cannot even be sent (the queue's Contact names a transport this
// program does not listen on, such as plain TCP in the TLS build) the
// library drops the call's dialog there and then, and goes on to send the
// answer's acknowledgement on the dialog it no longer has, which would crash
// the process. Without a dialog there is nothing left to acknowledge. This
// definition takes the place of the stack's own for the library's calls; the
// stack's own does the work.
#include <belle-sip/belle-sip.h>
#include <dlfcn.h>

extern "C" void belle_sip_dialog_send_ack(belle_sip_dialog_t *dialog, belle_sip_request_t *ack) {
  using SendAck = void (*)(belle_sip_dialog_t *, belle_sip_request_t *);
  static const SendAck stackSendAck =
      reinterpret_cast<SendAck>(dlsym(RTLD_NEXT, "belle_sip_dialog_send_ack"));
  if (dialog && stackSendAck)
    stackSendAck(dialog, ack);
}
#endif
