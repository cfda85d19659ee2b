// The program's SIP side, registered and idle, as the target of an INVITE
// flood: it registers, writes the UDP port its SIP listens on to PORT_FILE,
// then stays idle until killed. run_flood_bench.sh floods it and reads its
// memory from outside.
// Usage: sip_bench_flood DOMAIN USER PASSWORD PORT_FILE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "app_state.h"
#include "sip.h"
#include "sip_internal.h"

int main(int argc, char **argv) {
  if (argc != 5)
    return 2;
  setupSipAccount(argv[2], argv[3], argv[1]);
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!app.registered && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!app.registered)
    return 1;
  int port;
  {
    std::lock_guard<std::mutex> lock(coreMutex);
    LinphoneTransports *used = linphone_core_get_transports_used(app.core);
    port = linphone_transports_get_udp_port(used);
    linphone_transports_unref(used);
  }
  std::ofstream(argv[4]) << port << "\n";
  for (;;)
    std::this_thread::sleep_for(std::chrono::hours(1));
}
