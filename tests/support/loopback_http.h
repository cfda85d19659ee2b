// A real HTTP server on 127.0.0.1 for tests: answers each path as the test
// sets it up and records every request it receives.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct RecordedRequest {
  std::string method, path, contentType, body, acceptEncoding;
};

struct LoopbackOptions {
  std::string address = "127.0.0.1"; // "::1" for IPv6 loopback
  int port = 0;                      // 0: a free port
  std::string certFile, keyFile;     // both given: the server speaks HTTPS
};

class LoopbackHttp {
public:
  LoopbackHttp(); // listens on 127.0.0.1, a free port, in its own thread
  explicit LoopbackHttp(const LoopbackOptions &options);
  ~LoopbackHttp();
  LoopbackHttp(const LoopbackHttp &) = delete;
  LoopbackHttp &operator=(const LoopbackHttp &) = delete;

  std::string hostPort() const; // "127.0.0.1:NNNNN" ("[::1]:NNNNN")
  int port() const;
  void setAnswer(const std::string &path, int status, const std::string &body,
                 const std::string &contentType = "application/json"); // unknown paths: 404
  void setDelayMs(int ms); // answer every request only after this delay (slow service)
  std::vector<RecordedRequest> requests() const; // thread-safe copy, in arrival order
  bool waitForRequests(size_t n, int timeoutMs) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};
