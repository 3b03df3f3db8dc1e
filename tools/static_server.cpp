// A small static web server for the demo, the acceptance tests and the benchmarks:
// serves one directory on 127.0.0.1, optionally adding a fixed latency to every request.
//   skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE]
// With --port 0 (the default) a free port is chosen; it is printed on the first line of
// standard output and written to --port-file when given.
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace {
httplib::Server* g_server = nullptr;
void OnSignal(int) {
  if (g_server) g_server->stop();
}
}  // namespace

int main(int argc, char** argv) {
  std::string dir, portFile;
  int port = 0, latencyMs = 0;
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
    else if (dir.empty()) dir = a;
    else {
      std::cerr << "usage: skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE]\n";
      return 2;
    }
  }
  if (dir.empty()) {
    std::cerr << "usage: skimlet-static-server DIR [--port N] [--latency-ms N] [--port-file FILE]\n";
    return 2;
  }

  httplib::Server server;
  g_server = &server;
  if (!server.set_mount_point("/", dir)) {
    std::cerr << "skimlet-static-server: no such directory: " << dir << "\n";
    return 2;
  }
  server.set_tcp_nodelay(true);  // or every request after the first on a connection waits for a delayed ACK
  server.set_file_extension_and_mimetype_mapping("html", "text/html");
  server.set_file_extension_and_mimetype_mapping("htm", "text/html");
  if (latencyMs > 0) {
    server.set_pre_routing_handler([latencyMs](const httplib::Request&, httplib::Response&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs));
      return httplib::Server::HandlerResponse::Unhandled;
    });
  }
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
