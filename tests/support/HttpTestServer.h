// A real HTTP server on 127.0.0.1 for tests: handlers are registered first, then Start()
// serves them on a free port from a background thread until Stop() or destruction.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace skimlet::test {

class HttpTestServer {
 public:
  HttpTestServer();
  ~HttpTestServer();  // stops and joins
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // The server itself, for handlers and settings; register them before Start().
  httplib::Server& server() { return server_; }
  HttpTestServer& Get(const std::string& pattern, httplib::Server::Handler handler);

  void Start();  // throws when no port can be bound
  void Stop();   // wakes WaitForStop(), ends the server, joins its thread; idempotent

  int port() const { return port_; }
  std::string url(std::string_view path = "/") const;  // "http://127.0.0.1:PORT" + path

  int requestCount() const { return requests_.load(); }
  httplib::Headers lastRequestHeaders() const;

  // For handlers that play a silent or stalling server: blocks until Stop() begins or `max`
  // has passed. True when the server is stopping.
  bool WaitForStop(std::chrono::milliseconds max = std::chrono::seconds(30));

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
  std::atomic<int> requests_{0};
  mutable std::mutex mutex_;
  std::condition_variable stopping_cv_;
  bool stopping_ = false;
  httplib::Headers last_headers_;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
int UnusedPort();

}  // namespace skimlet::test
