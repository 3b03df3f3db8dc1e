// A small static web server for the demo, the acceptance tests and the benchmarks:
// serves one directory on 127.0.0.1, optionally adding a fixed latency to every request.
//   skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE] [--stats]
// With --port 0 (the default) a free port is chosen; it is printed on the first line of
// standard output and written to --port-file when given. With --stats, GET /__stats answers
// "requests N connections M" counted since the last GET /__stats?reset (itself not counted).
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace {
httplib::Server* g_server = nullptr;
void OnSignal(int) {
  if (g_server) g_server->stop();
}
}  // namespace

int main(int argc, char** argv) {
  std::string dir, portFile;
  int port = 0, latencyMs = 0;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "skimlet-static-server: " << a << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--port") port = std::atoi(next().c_str());
    else if (a == "--latency-ms") latencyMs = std::atoi(next().c_str());
    else if (a == "--port-file") portFile = next();
    else if (a == "--stats") stats = true;
    else if (dir.empty()) dir = a;
    else {
      std::cerr << "usage: skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE] [--stats]\n";
      return 2;
    }
  }
  if (dir.empty()) {
    std::cerr << "usage: skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE] [--stats]\n";
    return 2;
  }

  httplib::Server server;
  // Requests and connections (one per client address and port) for the benchmarks.
  std::mutex statsMutex;
  long requests = 0;
  std::set<std::pair<std::string, int>> connections;
  g_server = &server;
  if (!server.set_mount_point("/", dir)) {
    std::cerr << "skimlet-static-server: no such directory: " << dir << "\n";
    return 2;
  }
  server.set_tcp_nodelay(true);  // or every request after the first on a connection waits for a delayed ACK
  server.set_keep_alive_max_count(1000);  // as web servers do (nginx: 1000), not 5
  // A kept-alive connection holds one of the server's threads while it waits for its next
  // request; web servers keep thousands open, so a few idle clients must not starve the rest.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.set_file_extension_and_mimetype_mapping("html", "text/html");
  server.set_file_extension_and_mimetype_mapping("htm", "text/html");
  server.set_pre_routing_handler([&, latencyMs, stats](const httplib::Request& req, httplib::Response& res) {
    if (stats && req.path == "/__stats") {
      std::lock_guard lock(statsMutex);
      res.set_content("requests " + std::to_string(requests) + " connections " + std::to_string(connections.size()) +
                          "\n",
                      "text/plain");
      if (req.has_param("reset")) {
        requests = 0;
        connections.clear();
      }
      return httplib::Server::HandlerResponse::Handled;
    }
    if (stats) {
      std::lock_guard lock(statsMutex);
      ++requests;
      connections.insert({req.remote_addr, req.remote_port});
    }
    if (latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);

  if (port == 0) port = server.bind_to_any_port("127.0.0.1");
  else if (!server.bind_to_port("127.0.0.1", port)) port = -1;
  if (port <= 0) {
    std::cerr << "skimlet-static-server: cannot listen on 127.0.0.1\n";
    return 1;
  }
  std::cout << port << std::endl;
  if (!portFile.empty()) {
    std::ofstream(portFile + ".tmp") << port << "\n";
    std::rename((portFile + ".tmp").c_str(), portFile.c_str());
  }
  server.listen_after_bind();
  return 0;
}
