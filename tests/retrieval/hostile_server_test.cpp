// Refreshes against servers that misbehave on purpose, with the bounds of
// the download made small: each refresh ends within its bound, records the
// right message and keeps the feed's earlier content.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "feed/cleanup_options.h"
#include "retrieval/feed_refresh.h"
#include "support/case_address.h"
#include "support/loopback_server.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::Script;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

std::string rss(const std::string& title, int items) {
  std::string doc = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" + title +
                    "</title>";
  for (int i = 0; i < items; ++i) doc += "<item><title>item " + std::to_string(i) + "</title></item>";
  return doc + "</channel></rss>\n";
}

// Bytes that look like nothing: a fixed pseudo-random sequence, without
// CR when noCarriageReturn is set, so that no line end can occur.
std::string garbage(std::size_t size, bool noCarriageReturn) {
  std::string bytes;
  std::uint32_t state = 12345;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    const char c = static_cast<char>(state >> 23);
    if (!(noCarriageReturn && c == '\r')) bytes += c;
  }
  return bytes;
}

const std::string kEarlier = httpAnswer("HTTP/1.0 200 OK", {}, rss("Earlier", 3));
const std::string kNewer = httpAnswer("HTTP/1.0 200 OK", {"Content-Type: text/xml"},
                                      rss("Newer", 50));
const std::string kNewerHead = kNewer.substr(0, kNewer.size() / 2);

struct HostileCase {
  const char* name;
  Script script;
  DownloadLimits limits;
  const char* message;
  Ms bound;  // the refresh must return before this
};

DownloadLimits bounds(int receiveMs, int downloadMs, std::size_t maxBytes = 1u << 20) {
  DownloadLimits l;
  l.receiveTimeoutMs = receiveMs;
  l.connectTimeoutMs = 1000;
  l.maxDownloadMs = downloadMs;
  l.maxResponseBytes = maxBytes;
  return l;
}

std::vector<HostileCase> hostileCases() {
  return {
      {"reset in the middle of the body",
       Script().send(kNewerHead).pause(Ms(200)).reset(), bounds(2000, 5000),
       "Connection lost while receiving data.", Ms(3000)},
      {"accepts and never sends", Script().dontWaitForRequest().stall(), bounds(300, 5000),
       "No data recieved", Ms(2000)},
      {"headers, then a stall",
       Script().send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n").stall(),
       bounds(300, 5000), "Server stopped sending data.", Ms(2000)},
      // A byte every 50 ms, far within the receive time-out: the whole
      // answer would take a minute and a half.
      {"a byte at a time, each within the receive time-out",
       Script().sendInChunks(kNewer, {1}, Ms(50)), bounds(2000, 500), "Download took too long.",
       Ms(3000)},
      {"an endless answer", Script().send(kNewerHead).flood(std::string(65536, 'x')),
       bounds(2000, 10000, 1u << 20), "Response too large.", Ms(5000)},
      {"binary garbage without a line end", Script().send(garbage(65536, true)),
       bounds(2000, 5000), "Invalid format.", Ms(3000)},
      {"binary garbage", Script().send(garbage(65536, false)), bounds(2000, 5000),
       "Error transfering data.", Ms(3000)},
      {"a status line of 100 KiB without a line end",
       Script().send("HTTP/1.0 200 " + std::string(100 * 1024, 'K')), bounds(2000, 5000),
       "Invalid format.", Ms(3000)},
      {"a status line of 100 KiB, then a stall",
       Script().send("HTTP/1.0 200 " + std::string(100 * 1024, 'K')).stall(), bounds(300, 5000),
       "Server stopped sending data.", Ms(2000)},
  };
}

class HostileServerTest : public ::testing::Test {
 protected:
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // The server of this case listens on an address of its own.
  const std::string kAddress = test::caseAddress();
  const std::string kUrl = "http://" + kAddress + "/feed.xml";
};

TEST_F(HostileServerTest, EachEndsWithinItsBoundAndKeepsTheEarlierContent) {
  for (const HostileCase& c : hostileCases()) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    Environment env;
    env.clock = &clock;
    env.limits = bounds(2000, 5000);
    Feed feed(kUrl, env);
    const CleanupOptions settings;
    const int interval = limits::kDefaultUpdateInterval;
    LoopbackServer server(kAddress, {Script().send(kEarlier), c.script});
    ASSERT_TRUE(server.ok()) << server.error();

    refresh(feed, interval, settings);
    ASSERT_EQ(feed.errorText, "");
    ASSERT_EQ(feed.field("title"), "Earlier");

    env.limits = c.limits;
    clock.advance(static_cast<std::uint32_t>(interval));
    const auto start = SteadyClock::now();
    refresh(feed, interval, settings);
    const auto took = std::chrono::duration_cast<Ms>(SteadyClock::now() - start);

    EXPECT_LT(took.count(), c.bound.count());
    EXPECT_EQ(feed.errorText, c.message);
    EXPECT_TRUE(feed.state.errorPending);
    EXPECT_TRUE(feed.state.hasData);
    EXPECT_EQ(feed.field("title"), "Earlier");
    ASSERT_EQ(feed.channel.items.size(), 3u);
    EXPECT_EQ(feed.itemField("itemtitle", 2), "item 2");
    EXPECT_EQ(server.connections(), 2u);
  }
}

// After a hostile answer the next good one, due after the retry delay,
// replaces the content as usual.
TEST_F(HostileServerTest, AGoodAnswerAfterAHostileOneIsTakenAsUsual) {
  ManualClock clock;
  Environment env;
  env.clock = &clock;
  env.limits = bounds(300, 5000, 1u << 20);
  Feed feed(kUrl, env);
  const CleanupOptions settings;
  const int interval = limits::kDefaultUpdateInterval;
  LoopbackServer server(kAddress, {Script().send(kEarlier),
                                   Script().send(kNewerHead).flood(std::string(4096, 'x')),
                                   Script().send(kNewer)});
  ASSERT_TRUE(server.ok()) << server.error();
  refresh(feed, interval, settings);
  clock.advance(static_cast<std::uint32_t>(interval));
  refresh(feed, interval, settings);
  ASSERT_EQ(feed.errorText, "Response too large.");
  clock.advance(limits::kRetryDelaySeconds);
  refresh(feed, interval, settings);
  EXPECT_EQ(feed.errorText, "");
  EXPECT_FALSE(feed.state.errorPending);
  EXPECT_EQ(feed.field("title"), "Newer");
  EXPECT_EQ(feed.channel.items.size(), 50u);
}

// The answer's Content-Length only makes room for it: whatever the header
// says, the whole answer is read until the server closes, and the bound
// still holds.
TEST_F(HostileServerTest, AContentLengthThatLiesChangesNothing) {
  const std::string body = rss("Newer", 50);
  const std::string exact = "Content-Length: " + std::to_string(body.size());
  const struct {
    const char* name;
    Script script;
    const char* message;
  } cases[] = {
      {"too short", Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Length: 5"}, body)), ""},
      {"past the bound",
       Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Length: 1048576000"}, body)), ""},
      {"too many digits",
       Script().send(
           httpAnswer("HTTP/1.0 200 OK", {"Content-Length: 99999999999999999999999999"}, body)),
       ""},
      {"not a number", Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Length: 1e6"}, body)),
       ""},
      {"empty", Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Length:"}, body)), ""},
      {"right, the head in pieces of three bytes",
       Script().sendInChunks(httpAnswer("HTTP/1.0 200 OK", {exact}, body), {3}), ""},
      {"small, then an endless body",
       Script()
           .send(httpAnswer("HTTP/1.0 200 OK", {"Content-Length: 10"}, kNewerHead))
           .flood(std::string(65536, 'x')),
       "Response too large."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    Environment env;
    env.clock = &clock;
    env.limits = bounds(2000, 10000, 1u << 20);
    Feed feed(kUrl, env);
    LoopbackServer server(kAddress, {c.script});
    ASSERT_TRUE(server.ok()) << server.error();
    refresh(feed, limits::kDefaultUpdateInterval, CleanupOptions());
    EXPECT_EQ(feed.errorText, c.message);
    if (*c.message != '\0') continue;
    EXPECT_EQ(feed.field("title"), "Newer");
    EXPECT_EQ(feed.channel.items.size(), 50u);
  }
}

}  // namespace
}  // namespace korvo
