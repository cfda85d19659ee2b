// The floor: set-up, registration, idle and a call written directly on the
// library as it comes (the system's media plugins, the library's defaults,
// no program code around it): the untuned baseline the program is measured
// against. Its account set-up repeats setupSipAccount's library calls.
// Usage: sip_bench_floor DOMAIN USER PASSWORD IDLE_SECONDS DATA_DIR/ [HOLD_SECONDS]
// (HOLD_SECONDS: the call is held that long before it is ended, for the
// voice benchmark, which listens to it)
#include <linphone/core.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench_measure.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {
BenchClock::time_point registeredAt, connectedAt;
bool registered = false, connected = false;

void onRegistration(LinphoneCore *, LinphoneProxyConfig *, LinphoneRegistrationState state,
                    const char *) {
  if (state == LinphoneRegistrationOk && !registered) {
    registered = true;
    registeredAt = BenchClock::now();
  }
}

void onCall(LinphoneCore *, LinphoneCall *, LinphoneCallState state, const char *) {
  if (state == LinphoneCallConnected && !connected) {
    connected = true;
    connectedAt = BenchClock::now();
  }
}
} // namespace

int main(int argc, char **argv) {
  if (argc != 6 && argc != 7)
    return 2;
  const char *domain = argv[1], *user = argv[2], *password = argv[3];
  double idleSeconds = atof(argv[4]);
  double holdSeconds = argc == 7 ? atof(argv[6]) : 0;
  auto iterateFor = [idleSeconds, holdSeconds](LinphoneCore *core, auto done) {
    auto limit = BenchClock::now() + std::chrono::duration<double>(20 + idleSeconds + holdSeconds);
    while (!done() && BenchClock::now() < limit) {
      linphone_core_iterate(core);
      std::this_thread::sleep_until(BenchClock::now() + std::chrono::milliseconds(10));
    }
    return done();
  };

  auto start = BenchClock::now();
  linphone_factory_set_data_dir(linphone_factory_get(), argv[5]);
  linphone_core_enable_logs(nullptr);
  static LinphoneCoreVTable table = {};
  table.registration_state_changed = onRegistration;
  table.call_state_changed = onCall;
  LinphoneCore *core = linphone_core_new(&table, nullptr, nullptr, nullptr);
  LinphoneTransports *transports = linphone_factory_create_transports(linphone_factory_get());
  linphone_transports_set_udp_port(transports, LC_SIP_TRANSPORT_RANDOM);
  linphone_transports_set_tcp_port(transports, LC_SIP_TRANSPORT_RANDOM);
  linphone_transports_set_tls_port(transports, LC_SIP_TRANSPORT_DISABLED);
  linphone_core_set_transports(core, transports);
  linphone_transports_unref(transports);
  linphone_core_set_audio_port(core, -1);
  LinphoneProxyConfig *config = linphone_core_create_proxy_config(core);
  std::string identity = std::string("sip:") + user + "@" + domain;
  LinphoneAddress *address = linphone_address_new(identity.c_str());
  LinphoneAuthInfo *auth =
      linphone_auth_info_new(user, nullptr, password, nullptr, nullptr, domain);
  linphone_core_add_auth_info(core, auth);
  linphone_proxy_config_set_identity_address(config, address);
  linphone_proxy_config_set_server_addr(config, linphone_address_get_domain(address));
  linphone_proxy_config_enable_register(config, 1);
  linphone_address_unref(address);
  linphone_core_add_proxy_config(core, config);
  linphone_core_set_default_proxy_config(core, config);
  linphone_core_iterate(core);
  double setupMs = msSince(start);
  if (!iterateFor(core, [] { return registered; }))
    return 1;
  double registerMs = std::chrono::duration<double, std::milli>(registeredAt - start).count();

  // Registered and idle, before any call: the state a phone spends its day in.
  double cpuBefore = cpuSeconds();
  auto idleStart = BenchClock::now();
  iterateFor(core, [&] { return msSince(idleStart) >= idleSeconds * 1000; });
  double idlePct = 100 * (cpuSeconds() - cpuBefore) / (msSince(idleStart) / 1000);
  double idleRssMb = residentMb();

  std::string callee = std::string("sip:fila@") + domain;
  LinphoneAddress *target = linphone_address_new(callee.c_str());
  auto invited = BenchClock::now();
  LinphoneCall *call = linphone_core_invite_address(core, target);
  linphone_address_unref(target);
  if (!call || !iterateFor(core, [] { return connected; }))
    return 1;
  double callMs = std::chrono::duration<double, std::milli>(connectedAt - invited).count();
  auto held = BenchClock::now();
  iterateFor(core, [&] { return msSince(held) >= holdSeconds * 1000; });
  linphone_core_terminate_call(core, call);
  iterateFor(core, [core] { return linphone_core_get_calls_nb(core) == 0; });

  reportFigures(setupMs, registerMs, callMs, idlePct, idleRssMb);
  fflush(stdout);
  _exit(0);
}
