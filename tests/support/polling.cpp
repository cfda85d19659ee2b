#include "polling.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

bool waitUntil(const std::function<bool()> &pred, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool udpListening(const std::string &ip) { return !udpInode(ip).empty(); }

std::string udpInode(const std::string &ip) {
  in_addr addr{};
  inet_pton(AF_INET, ip.c_str(), &addr);
  char local[32];
  snprintf(local, sizeof local, "%08X:13C4", addr.s_addr); // 13C4 = 5060
  // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
  std::ifstream udp("/proc/net/udp");
  std::string line;
  std::getline(udp, line); // the column titles
  while (std::getline(udp, line)) {
    std::istringstream fields(line);
    std::string slot, address, field;
    fields >> slot >> address;
    if (address != local)
      continue;
    for (int i = 0; i < 8; ++i)
      fields >> field;
    return field;
  }
  return "";
}

bool tcpListening(const std::string &ip, int port) {
  in_addr addr{};
  inet_pton(AF_INET, ip.c_str(), &addr);
  char local[32];
  snprintf(local, sizeof local, "%08X:%04X", addr.s_addr, port);
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  while (std::getline(tcp, line)) {
    // "sl local_address rem_address st": 0A is LISTEN.
    size_t at = line.find(local);
    if (at != std::string::npos && line.compare(at + 28, 2, "0A") == 0)
      return true;
  }
  return false;
}
