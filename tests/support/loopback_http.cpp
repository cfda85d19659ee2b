#include "loopback_http.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {
struct Answer {
  int status;
  std::string body, contentType;
};
} // namespace

struct LoopbackHttp::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  std::string address;
  int port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed; // a request arrived, or stopping
  std::map<std::string, Answer> answers;
  std::vector<RecordedRequest> recorded;
  int delayMs = 0;
  bool stopping = false;

  void handle(const httplib::Request &req, httplib::Response &res) {
    std::unique_lock<std::mutex> lock(mutex);
    recorded.push_back({req.method, req.path, req.get_header_value("Content-Type"), req.body,
                        req.get_header_value("Accept-Encoding")});
    changed.notify_all();
    // A slow service; ends early when the server is being torn down.
    if (delayMs > 0)
      changed.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return stopping; });
    auto it = answers.find(req.path);
    if (it == answers.end()) {
      res.status = 404;
      res.set_content("not found", "text/plain");
    } else {
      res.status = it->second.status;
      res.set_content(it->second.body, it->second.contentType.c_str());
    }
  }
};

LoopbackHttp::LoopbackHttp() : LoopbackHttp(LoopbackOptions()) {}

LoopbackHttp::LoopbackHttp(const LoopbackOptions &options) : impl(new Impl) {
  Impl *p = impl.get();
  if (!options.certFile.empty())
    p->server.reset(new httplib::SSLServer(options.certFile.c_str(), options.keyFile.c_str()));
  else
    p->server.reset(new httplib::Server);
  if (!p->server->is_valid())
    throw std::runtime_error("loopback HTTP server: certificate or key not usable");
  httplib::Server &server = *p->server;
  auto handler = [p](const httplib::Request &req, httplib::Response &res) { p->handle(req, res); };
  server.Get(".*", handler);
  server.Post(".*", handler);
  // One request per connection: nothing lingers in keep-alive at shutdown.
  server.set_keep_alive_max_count(1);
  p->address = options.address;
  if (options.port > 0)
    p->port = server.bind_to_port(options.address.c_str(), options.port) ? options.port : -1;
  else
    p->port = server.bind_to_any_port(options.address.c_str());
  if (p->port <= 0)
    throw std::runtime_error("loopback HTTP server: cannot bind " + options.address);
  p->thread = std::thread([p] { p->server->listen_after_bind(); });
  // stop() does nothing until the accept loop runs, so a server torn down
  // at once would never end: wait for the loop.
  while (!p->server->is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHttp::~LoopbackHttp() {
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->stopping = true;
  }
  impl->changed.notify_all();
  impl->server->stop();
  impl->thread.join();
}

std::string LoopbackHttp::hostPort() const {
  bool v6 = impl->address.find(':') != std::string::npos;
  return (v6 ? "[" + impl->address + "]" : impl->address) + ":" + std::to_string(impl->port);
}

int LoopbackHttp::port() const { return impl->port; }

void LoopbackHttp::setAnswer(const std::string &path, int status, const std::string &body,
                             const std::string &contentType) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->answers[path] = {status, body, contentType};
}

void LoopbackHttp::setDelayMs(int ms) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->delayMs = ms;
}

std::vector<RecordedRequest> LoopbackHttp::requests() const {
  std::lock_guard<std::mutex> lock(impl->mutex);
  return impl->recorded;
}

bool LoopbackHttp::waitForRequests(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(impl->mutex);
  return impl->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this, n] { return impl->recorded.size() >= n; });
}
