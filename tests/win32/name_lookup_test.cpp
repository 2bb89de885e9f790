// korvo.dll with a download worker inside a name lookup that does not end
// (GetAddrInfoW cannot be cancelled): queries do not wait for it, the last
// dllshutdown returns and logs that the download could not be stopped, and
// the worker's own reference keeps the DLL loaded after FreeLibrary until
// the lookup ends. Run by resolver_namespace.sh, which gives the program a
// /etc/resolv.conf of its own to write: it names a name server of the
// test's, which answers nothing until the test lets it.
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::PluginLibrary;
using SteadyClock = std::chrono::steady_clock;

// Only a hang guard, far below the 30 s the resolver gives a lookup: a call
// that returns within it did not wait for the lookup.
constexpr std::chrono::milliseconds kHangGuard{10000};

// A name server on address:53 (UDP) that answers nothing until release();
// then every query, held or new, gets "no such name".
class SilentNameServer {
 public:
  explicit SilentNameServer(const std::string& address) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    if (socket_ == INVALID_SOCKET ||
        ::bind(socket_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      error_ = "cannot listen on " + address + ":53/udp: Winsock error " +
               std::to_string(WSAGetLastError());
      return;
    }
    thread_ = std::thread([this] { run(); });
  }
  ~SilentNameServer() {
    release();
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    WSACleanup();
  }
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool waitForQueries(std::size_t count, std::chrono::milliseconds timeout) {
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
  }

 private:
  // Answers go out from this thread too: the receive waits in slices, so
  // that held queries are answered soon after release().
  void run() {
    while (!stopping_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket_, &readable);
      timeval slice{0, 50000};
      const int ready = select(0, &readable, nullptr, nullptr, &slice);
      std::lock_guard<std::mutex> lock(mutex_);
      if (ready > 0) {
        std::string query(512, '\0');
        sockaddr_in peer{};
        int length = sizeof peer;
        const int got = recvfrom(socket_, query.data(), static_cast<int>(query.size()), 0,
                                 reinterpret_cast<sockaddr*>(&peer), &length);
        if (got >= 12) {
          query.resize(static_cast<std::size_t>(got));
          ++queries_;
          held_.emplace_back(peer, std::move(query));
          changed_.notify_all();
        }
      }
      if (released_) {
        for (auto& [peer, query] : held_) answer(peer, query);
        held_.clear();
      }
    }
  }
  // With mutex_ held: the query back as an answer with RCODE 3.
  void answer(const sockaddr_in& peer, std::string query) {
    query[2] = static_cast<char>(0x80 | (query[2] & 0x79));
    query[3] = static_cast<char>(0x80 | 3);
    sendto(socket_, query.data(), static_cast<int>(query.size()), 0,
           reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    ++answered_;
  }

  SOCKET socket_ = INVALID_SOCKET;
  std::string error_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<sockaddr_in, std::string>> held_;
  std::size_t queries_ = 0;
  std::size_t answered_ = 0;
  bool released_ = false;
  std::atomic<bool> stopping_{false};
};

TEST(WindowsNameLookupTest, AWorkerInAHangingLookupHoldsTheLibraryPastShutDownAndUnload) {
  KORVO_SKIP_WITHOUT_PORT_80();
  const char* resolvConf = std::getenv("KORVO_RESOLV_CONF");
  if (resolvConf == nullptr) GTEST_SKIP() << "not run by resolver_namespace.sh";
  // 127.0.0.1 (this program's only use of port 53): under Wine, answers
  // from a socket bound to another loopback address never reached the
  // resolver. The program runs in a network namespace of its own
  // (resolver_namespace.sh), where no other program holds the port.
  const std::string address = "127.0.0.1";
  test::writeWholeFile(resolvConf, "nameserver " + address + "\noptions timeout:30 attempts:1\n");
  SilentNameServer names(address);
  ASSERT_TRUE(names.ok()) << names.error();

  test::TempDir dir;
  test::writeWholeFile(dir.file("host.ini"), "[A]\nNewsSite=News\n");
  test::writeWholeFile(
      dir.file("Korvo.ini"),
      "[Settings]\nDoLog=yes\n[NewsSites]\nNews=http://hanging.korvo.test/feed.xml\n");
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = lib->dllstartup(0, 0);
  lib->src_load_settings(id, dir.file("host.ini").c_str(), "A");
  const auto start = SteadyClock::now();
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  ASSERT_TRUE(names.waitForQueries(1, kHangGuard)) << "a worker is inside the lookup";
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  EXPECT_EQ(lib->dllshutdown(id), 0);
  lib.unload();
  EXPECT_LT(SteadyClock::now() - start, kHangGuard);
  EXPECT_EQ(names.answered(), 0u) << "all returned while the lookup went on";
  EXPECT_TRUE(test::isMapped(lib.path())) << "the worker's reference keeps korvo.dll loaded";
  const std::string log = test::readWholeFile(dir.file("Korvolog.txt"));
  EXPECT_NE(log.find("Shut-down: 1 download(s) could not be stopped; they end on their own\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Shut-down: the library stays loaded until they end\n"), std::string::npos)
      << log;

  // The lookup fails now; the worker returns into korvo.dll, still loaded,
  // and its end unloads it.
  names.release();
  bool unloaded = false;
  for (auto until = SteadyClock::now() + kHangGuard; !unloaded && SteadyClock::now() < until;) {
    unloaded = !test::isMapped(lib.path());
    if (!unloaded) Sleep(10);  // a look at the loader's list, not a guess
  }
  EXPECT_TRUE(unloaded) << names.answered() << " answers\n"
                        << test::readWholeFile(dir.file("Korvolog.txt"));
}

}  // namespace
}  // namespace korvo
