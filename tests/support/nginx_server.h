#pragma once
// A real nginx serving a directory on port 80 of one loopback address (or
// server blocks of a test's own, such as TLS servers), for
// as long as the object lives. available() says whether it could start
// (nginx installed, port 80 allowed); tests skip otherwise.
#include <string>
#include <sys/types.h>

#include "support/temp_dir.h"

namespace korvo::test {

class NginxServer {
 public:
  explicit NginxServer(const std::string& address);
  // Runs the given server blocks instead ("$www" in them stands for the
  // served directory) and waits until address:port accepts.
  NginxServer(const std::string& address, int port, const std::string& servers);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool available() const { return pid_ > 0; }
  // Why it is not available.
  const std::string& problem() const { return problem_; }
  // Writes a file into the served directory.
  void put(const std::string& name, const std::string& content) const;
  // The served directory, ending in "/".
  std::string www() const { return dir_.file("www/"); }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::string problem_;
};

}  // namespace korvo::test
