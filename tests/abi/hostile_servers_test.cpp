// Misbehaving servers against the built plug-in with its real bounds
// (16 MiB per answer, 12 s per receive): the host's call returns within
// the bound, and the meter shows the failure's message (ShowError on).
// The bounds that take longer to run out are tested with small injected
// bounds in tests/retrieval/hostile_server_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/limits.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::PluginLibrary;
using test::Script;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

std::string binaryGarbage(std::size_t size) {
  std::string bytes;
  std::uint32_t state = 99;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 23);
  }
  return bytes;
}

class HostileServersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    test::writeWholeFile(dir_.file("Korvo.ini"),
                         "[Settings]\nWaitForDownload=-1\nShowError=yes\nDoLog=yes\n[NewsSites]\nHostile=http://" +
                             kAddress + "/feed.xml\n");
    test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=Hostile\n");
  }

  // Loads the plug-in, makes one meter and asks for its title once, from a
  // server playing script. Returns the title; `took` is the call's time.
  std::string titleFrom(const Script& script, Ms& took) {
    LoopbackServer server(kAddress, script);
    EXPECT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    EXPECT_TRUE(lib.loaded()) << lib.error();
    if (!lib.loaded()) return {};
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir_.file("host.ini").c_str(), "A");
    const auto start = SteadyClock::now();
    std::string title = lib->GetTitle(id);
    took = std::chrono::duration_cast<Ms>(SteadyClock::now() - start);
    EXPECT_EQ(std::string(lib->GetItemTitle(id, "0")), title) << "no second download";
    EXPECT_EQ(lib->dllshutdown(id), 0);
    EXPECT_EQ(server.connections(), 1u);
    return title;
  }

  std::string log() const { return test::readWholeFile(dir_.file("Korvolog.txt")); }

  // The servers of this case listen on an address of its own.
  const std::string kAddress = test::caseAddress();
  test::TempDir dir_;
};

TEST_F(HostileServersTest, FastFailuresEndAtOnceWithTheirMessage) {
  const std::string rss =
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>T"
      "</title>" +
      std::string(8000, ' ') + "</channel></rss>\n";
  const std::string answer = httpAnswer("HTTP/1.0 200 OK", {}, rss);
  // 17 MiB of one item after another: past the 16 MiB bound.
  constexpr std::size_t kHugeBytes = limits::kMaxResponseBytes + (1u << 20);
  std::string huge = httpAnswer("HTTP/1.0 200 OK", {}, "<rss version=\"2.0\"><channel>");
  const std::string item = "<item><title>x</title></item>";
  huge.reserve(kHugeBytes + item.size());
  while (huge.size() < kHugeBytes) huge += item;
  huge += "</channel></rss>";
  ASSERT_GT(huge.size(), limits::kMaxResponseBytes);

  struct Case {
    const char* name;
    Script script;
    const char* message;
  } cases[] = {
      {"reset in the middle of the body",
       Script().send(answer.substr(0, answer.size() / 2)).pause(Ms(200)).reset(),
       "Connection lost while receiving data."},
      {"17 MiB", Script().send(huge), "Response too large."},
      {"binary garbage", Script().send(binaryGarbage(200000)), "Error transfering data."},
      {"a status line of 100 KiB without a line end",
       Script().send("HTTP/1.0 200 " + std::string(100 * 1024, 'K')), "Invalid format."},
      {"closes at once", Script().dontWaitForRequest(), "No data recieved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ms took{};
    EXPECT_EQ(titleFrom(c.script, took), c.message);
    EXPECT_LT(took.count(), 5000);
    EXPECT_THAT(log(), ::testing::HasSubstr(" --> Error: " + std::string(c.message) + " (http://" +
                                            kAddress + "/feed.xml)\n"));
  }
}

// The one real time bound that is short enough to wait for: a receive
// waits at most 12 seconds. The call may take longer than that on a loaded
// machine, but not as long as the whole download's bound (30 s), the next
// one that could end it.
TEST_F(HostileServersTest, HeadersThenAStallEndAfterTheReceiveTimeOut) {
  Ms took{};
  EXPECT_EQ(
      titleFrom(Script().send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<rss>").stall(),
                took),
      "Server stopped sending data.");
  EXPECT_GE(took.count(), limits::kReceiveTimeoutMs - 100);
  EXPECT_LT(took.count(), limits::kMaxDownloadMs);
}

}  // namespace
}  // namespace korvo
