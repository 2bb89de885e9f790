// A name lookup that does not end, through the built plug-in: queries do
// not wait for it, and the last dllshutdown (or an unload without it)
// cancels the download while the lookup goes on, unloads the library at
// once and leaves nothing of it running: the lookup ends later on glibc's
// (http://) or libcurl's (https://) own thread, in code that stays loaded.
// The test runs in a mount namespace of its own in which /etc/resolv.conf
// names only a name server of the test's, which reads every query and
// answers none until the test lets it; so the test, not a time-out,
// decides when the lookup ends.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/prerequisite.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::PluginLibrary;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// A guard against a hang, far below the 30 s the resolver would take to
// give up on its own: a call that returns within it did not wait for the
// lookup.
constexpr Ms kHangGuard{5000};

std::size_t threadCount() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++n;
  return n;
}

// A name server on address:53 (UDP) that answers nothing until release();
// then it answers every query, held or new, with "no such name".
class SilentNameServer {
 public:
  explicit SilentNameServer(const std::string& address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::pipe2(stop_, O_CLOEXEC) != 0) {
      error_ = std::string("cannot listen on ") + address + ":53/udp: " + std::strerror(errno);
      return;
    }
    thread_ = std::thread([this] { run(); });
  }
  ~SilentNameServer() {
    release();  // no lookup of this process outlives its name server
    if (thread_.joinable()) {
      const char stop = 1;
      [[maybe_unused]] const ssize_t written = ::write(stop_[1], &stop, 1);
      thread_.join();
    }
    for (int fd : {fd_, stop_[0], stop_[1]})
      if (fd >= 0) ::close(fd);
  }
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  bool waitForQueries(std::size_t count, Ms timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return queries_ >= count; });
  }
  std::size_t answered() {
    std::lock_guard<std::mutex> lock(mutex_);
    return answered_;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    for (auto& [peer, query] : held_) answer(peer, query);
    held_.clear();
  }

 private:
  void run() {
    for (;;) {
      pollfd fds[2] = {{stop_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      if (fds[1].revents == 0) continue;
      std::string query(512, '\0');
      sockaddr_in peer{};
      socklen_t length = sizeof peer;
      const ssize_t got = ::recvfrom(fd_, query.data(), query.size(), 0,
                                     reinterpret_cast<sockaddr*>(&peer), &length);
      if (got < 12) continue;  // no DNS header
      query.resize(static_cast<std::size_t>(got));
      std::lock_guard<std::mutex> lock(mutex_);
      ++queries_;
      if (released_)
        answer(peer, query);
      else
        held_.emplace_back(peer, std::move(query));
      changed_.notify_all();
    }
  }
  // The query sent back as an answer (QR, recursion available) with
  // RCODE 3, "no such name". Called with mutex_ held.
  void answer(const sockaddr_in& peer, std::string query) {
    query[2] = static_cast<char>(0x80 | (query[2] & 0x79));
    query[3] = static_cast<char>(0x80 | 3);
    ::sendto(fd_, query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
             sizeof peer);
    ++answered_;
  }

  int fd_ = -1;
  int stop_[2] = {-1, -1};
  std::string error_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<sockaddr_in, std::string>> held_;
  std::size_t queries_ = 0;
  std::size_t answered_ = 0;
  bool released_ = false;
};

// This thread, and the threads it starts from now on (the library's
// workers among them), in a mount namespace of its own in which
// /etc/resolv.conf names only nameServer. Empty, or why that failed.
std::string useOnlyNameServer(const std::string& nameServer, const std::string& resolvConf) {
  if (::unshare(CLONE_NEWNS) != 0)
    return std::string("no mount namespace (needs root): ") + std::strerror(errno);
  // Nothing mounted here may reach the system's own namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("cannot make / private: ") + std::strerror(errno);
  // One try, 30 s long: only the test ends a lookup.
  test::writeWholeFile(resolvConf,
                       "nameserver " + nameServer + "\noptions timeout:30 attempts:1\n");
  if (::mount(resolvConf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
    return std::string("cannot bind over /etc/resolv.conf: ") + std::strerror(errno);
  return {};
}

struct LookupCase {
  const char* name;
  const char* url;
  bool shutDownFirst;  // the last dllshutdown before the unload
};

constexpr LookupCase kCases[] = {
    {"http, dllshutdown then unload", "http://hanging.korvo.test/feed.xml", true},
    {"http, unload alone", "http://hanging.korvo.test/feed.xml", false},
    {"https, dllshutdown then unload", "https://hanging.korvo.test/feed.xml", true},
    {"https, unload alone", "https://hanging.korvo.test/feed.xml", false},
};

TEST(NameLookupTest, NeitherQueriesNorShutDownNorUnloadWaitForAHangingLookup) {
  KORVO_SKIP_WITHOUT_PORT_80();
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "under ThreadSanitizer the library's lookups block (it cannot follow "
                  "glibc's getaddrinfo_a thread)";
#endif
  const std::string address = test::caseAddress();
  test::TempDir setup;
  const std::string problem = useOnlyNameServer(address, setup.file("resolv.conf"));
  if (!problem.empty()) KORVO_SKIP_FOR_PREREQUISITE() << problem;

  for (const LookupCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SilentNameServer names(address);
    ASSERT_TRUE(names.ok()) << names.error();
    test::TempDir dir;
    test::writeWholeFile(dir.file("host.ini"), "[A]\nNewsSite=News\n");
    // The default budget.
    test::writeWholeFile(dir.file("Korvo.ini"),
                         std::string("[Settings]\nDoLog=yes\n[NewsSites]\nNews=") + c.url + "\n");
    const std::size_t threadsBefore = threadCount();
    PluginLibrary lib(dir.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir.file("host.ini").c_str(), "A");

    EXPECT_EQ(std::string(lib->GetTitle(id)), "");
    ASSERT_TRUE(names.waitForQueries(1, kHangGuard)) << "a worker is inside the lookup";
    for (int i = 0; i < 3; ++i) {
      const auto start = SteadyClock::now();
      EXPECT_EQ(std::string(lib->GetTitle(id)), "");
      EXPECT_LT(SteadyClock::now() - start, kHangGuard);
    }

    const auto start = SteadyClock::now();
    if (c.shutDownFirst) {
      EXPECT_EQ(lib->dllshutdown(id), 0);
    }
    lib.unload();
    EXPECT_LT(SteadyClock::now() - start, kHangGuard);
    EXPECT_EQ(names.answered(), 0u) << "returned while the lookup went on";
    EXPECT_FALSE(test::isMapped(lib.path())) << "no worker of the library waits for the lookup";
    const std::string log = test::readWholeFile(dir.file("Korvolog.txt"));
    EXPECT_NE(log.find(std::string("Error: Download cancelled. (") + c.url + ")\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("could not be stopped"), std::string::npos) << log;

    // The lookup fails now, on a thread that runs no code of the library.
    names.release();
    bool ended = false;
    for (auto until = SteadyClock::now() + kHangGuard; !ended && SteadyClock::now() < until;) {
      ended = threadCount() == threadsBefore;
      if (!ended) std::this_thread::sleep_for(Ms(5));  // a look at the thread list, not a guess
    }
    EXPECT_TRUE(ended) << "the lookup's thread ended once the lookup did";
  }
}

}  // namespace
}  // namespace korvo
