// Transfer options of the service client that a working exchange alone would
// not show: the offer of compressed answers and IPv4-only name resolution.
#include <dlfcn.h>
#include <netdb.h>

#include <cstring>

#include "service_fixture.h"

namespace {
// A name that resolves, as many do, to both ::1 and 127.0.0.1.
const char DUAL_NAME[] = "dual-stack.test";
} // namespace

// Stands in for the C library's resolver inside this test program (libcurl
// calls it by name): DUAL_NAME answers ::1 first, then 127.0.0.1, filtered
// by the family asked for, like a hosts file with both lines. Every other
// name goes to the real resolver.
extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **res) {
  using Real = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
  if (!node || std::strcmp(node, DUAL_NAME) != 0)
    return real(node, service, hints, res);
  int family = hints ? hints->ai_family : AF_UNSPEC;
  struct addrinfo numeric {};
  numeric.ai_flags = AI_NUMERICHOST;
  numeric.ai_socktype = hints ? hints->ai_socktype : 0;
  numeric.ai_protocol = hints ? hints->ai_protocol : 0;
  struct addrinfo *v6 = nullptr, *v4 = nullptr;
  if (family == AF_UNSPEC || family == AF_INET6) {
    numeric.ai_family = AF_INET6;
    if (real("::1", service, &numeric, &v6) != 0)
      v6 = nullptr;
  }
  if (family == AF_UNSPEC || family == AF_INET) {
    numeric.ai_family = AF_INET;
    if (real("127.0.0.1", service, &numeric, &v4) != 0)
      v4 = nullptr;
  }
  if (v6) {
    struct addrinfo *last = v6;
    while (last->ai_next)
      last = last->ai_next;
    last->ai_next = v4;
    *res = v6;
  } else {
    *res = v4;
  }
  return *res ? 0 : EAI_NONAME;
}

TEST_F(ServiceTest, CompressedAnswersAreOfferedAndDecoded) {
  EXPECT_TRUE(loginWith(acceptedWith(R"([{"info":[{"nome":"Fiscal","info":{"user":"1"}}]}])")));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  // The loopback server compresses its answer when the offer allows it.
  EXPECT_NE(requests[0].acceptEncoding.find("gzip"), std::string::npos);
  EXPECT_NE(requests[0].acceptEncoding.find("deflate"), std::string::npos);
  EXPECT_EQ(app.queueUsers, TextList{"1"});
}

// The service is reached over IPv4 only: whatever answers on the IPv6
// address of the same name and port never hears from the program.
TEST_F(ServiceTest, ServiceNameIsResolvedToIPv4Only) {
  LoopbackOptions v6;
  v6.address = "::1";
  v6.port = server.port();
  LoopbackHttp impostor(v6);
  impostor.setAnswer(LOGIN_PATH, 200, acceptedWith("[]"));
  impostor.setAnswer(LOGOUT_PATH, 200, "ok", "text/plain");
  server.setAnswer(LOGOUT_PATH, 200, "ok", "text/plain");
  setServiceHostForTests((std::string(DUAL_NAME) + ":" + std::to_string(server.port())).c_str());

  EXPECT_TRUE(loginWith(acceptedWith(R"([{"info":[{"nome":"Fiscal","info":{"user":"1"}}]}])")));
  EXPECT_TRUE(sendLogoutNotice());
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_TRUE(impostor.requests().empty());
}
