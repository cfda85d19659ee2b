// Reading a burst of SIP messages at once: the library reads one per
// iteration, so a burst (a flood of calls coming in, say) would wait a worker
// period each. The core's UDP sockets for SIP, found once it listens, tell
// whether more are waiting.
#include "sip_internal.h"

#ifdef __linux__
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <vector>

#include "app_state.h"

namespace {
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
} // namespace

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
