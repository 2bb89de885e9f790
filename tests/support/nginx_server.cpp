#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace korvo::test {
namespace {

std::string findNginx() {
  for (const char* p : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

bool accepts(const std::string& address, int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

}  // namespace

NginxServer::NginxServer(const std::string& address)
    : NginxServer(address, 80, "  server {\n    listen " + address + ":80;\n    root $www;\n  }\n") {}

NginxServer::NginxServer(const std::string& address, int port, const std::string& servers) {
  std::string nginx = findNginx();
  if (nginx.empty()) {
    problem_ = "nginx is not installed (scripts/install-deps installs it)";
    return;
  }
  if (geteuid() != 0) {
    problem_ = "port 80 needs root";
    return;
  }
  mkdir(dir_.file("www").c_str(), 0755);
  mkdir(dir_.file("tmp").c_str(), 0755);
  const std::string d = dir_.path();
  std::string blocks = servers;
  for (std::size_t at; (at = blocks.find("$www")) != std::string::npos;)
    blocks.replace(at, 4, d + "www");
  writeWholeFile(dir_.file("nginx.conf"),
                 "daemon off;\nmaster_process off;\nuser root root;\nworker_processes 1;\npid " + d +
                     "nginx.pid;\nerror_log " + d + "error.log;\nevents { worker_connections 64; }\n"
                     "http {\n  access_log off;\n  client_body_temp_path " + d + "tmp;\n"
                     "  proxy_temp_path " + d + "tmp;\n  fastcgi_temp_path " + d + "tmp;\n"
                     "  uwsgi_temp_path " + d + "tmp;\n  scgi_temp_path " + d + "tmp;\n"
                     "  types { text/xml xml; }\n" + blocks + "}\n");
  pid_t pid = fork();
  if (pid == 0) {
    execl(nginx.c_str(), "nginx", "-e", (d + "error.log").c_str(), "-p", d.c_str(), "-c",
          (d + "nginx.conf").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) {
    problem_ = "fork failed";
    return;
  }
  pid_ = pid;
  for (int i = 0; i < 200; ++i) {
    if (accepts(address, port)) return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  problem_ = "nginx did not start: " + readWholeFile(d + "error.log");
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

NginxServer::~NginxServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

void NginxServer::put(const std::string& name, const std::string& content) const {
  // Written beside and renamed, so nginx never serves half a file.
  std::string tmp = dir_.file("www/." + name);
  writeWholeFile(tmp, content);
  std::rename(tmp.c_str(), dir_.file("www/" + name).c_str());
}

}  // namespace korvo::test
