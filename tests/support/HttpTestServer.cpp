#include "tests/support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace skimlet::test {

HttpTestServer::HttpTestServer() {
  server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_headers_ = req.headers;
    }
    ++requests_;
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Idle keep-alive connections must not hold up Stop() for long.
  server_.set_keep_alive_timeout(1);
  server_.set_keep_alive_max_count(1000);  // as web servers do: reuse is the client's choice
  server_.set_tcp_nodelay(true);
}

HttpTestServer::~HttpTestServer() { Stop(); }

HttpTestServer& HttpTestServer::Get(const std::string& pattern, httplib::Server::Handler handler) {
  server_.Get(pattern, std::move(handler));
  return *this;
}

void HttpTestServer::Start() {
  if (thread_.joinable()) return;
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("HttpTestServer: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() does nothing until the server runs, so Stop() right after Start() must wait.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_.is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!server_.is_running()) throw std::runtime_error("HttpTestServer: server did not start");
}

void HttpTestServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stopping_cv_.notify_all();
  if (thread_.joinable()) {
    server_.stop();
    thread_.join();
  }
}

std::string HttpTestServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

httplib::Headers HttpTestServer::lastRequestHeaders() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_headers_;
}

bool HttpTestServer::WaitForStop(std::chrono::milliseconds max) {
  std::unique_lock<std::mutex> lock(mutex_);
  return stopping_cv_.wait_for(lock, max, [this] { return stopping_; });
}

int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("UnusedPort: socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    throw std::runtime_error("UnusedPort: bind failed");
  }
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace skimlet::test
