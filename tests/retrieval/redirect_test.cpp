// Redirects on the plain path: the rules that both paths share (hops,
// relative targets, remembered permanent moves) against a scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/moved_feeds.h"
#include "retrieval/http_fetcher.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::Script;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Ms = std::chrono::milliseconds;

const std::string kRss = "<rss version=\"2.0\"><channel><title>T</title></channel></rss>";

Script redirect(int status, const std::string& location) {
  return Script().send(httpAnswer("HTTP/1.1 " + std::to_string(status) + " Moved",
                                  {"Location: " + location}, "moved"));
}

Script ok(const std::vector<std::string>& headers = {}) {
  return Script().send(httpAnswer("HTTP/1.1 200 OK", headers, kRss));
}

class RedirectTest : public ::testing::Test {
 protected:
  RedirectTest() {
    logger.openLog(dir.path());
    logger.setEnabled(true);
    env.log = &logger;
    env.clock = &clock;
    env.moved = &moved;
  }
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // The server of this case listens on an address of its own.
  const std::string kAddress = test::caseAddress();
  const std::string kUrl = "http://" + kAddress + "/feeds/news.xml";

  // downloads downloads of the feed, the server playing scripts in turn.
  bool fetch(const std::vector<Script>& scripts, int downloads = 1) {
    LoopbackServer server(kAddress, scripts);
    EXPECT_TRUE(server.ok()) << server.error();
    bool ok = false;
    for (int i = 0; i < downloads; ++i) {
      body = "left over";
      ok = download(feed, body);
    }
    requests = server.requests();
    return ok;
  }

  // The request lines, "GET /path", one per connection.
  std::vector<std::string> paths() const {
    std::vector<std::string> out;
    for (const auto& r : requests) out.push_back(r.substr(0, r.find(" HTTP/1.0")));
    return out;
  }

  std::string log() const { return test::readWholeFile(dir.file("Korvolog.txt")); }

  test::TempDir dir;
  ManualClock clock;
  Logger logger{clock};
  MovedFeeds moved;
  Environment env;
  Feed feed{kUrl, env};
  std::string body;
  std::vector<std::string> requests;
};

TEST_F(RedirectTest, EachRedirectStatusIsFollowedToTheFeed) {
  for (int status : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(status);
    MovedFeeds fresh;
    env.moved = &fresh;
    feed = Feed(kUrl, env);
    ASSERT_TRUE(fetch({redirect(status, "http://" + kAddress + "/new.xml"), ok({"ETag: \"t\""})}));
    EXPECT_EQ(body, kRss);
    EXPECT_EQ(feed.etag, "\"t\"");  // from the final answer
    EXPECT_EQ(paths(), (std::vector<std::string>{"GET /feeds/news.xml", "GET /new.xml"}));
    EXPECT_THAT(requests[1], HasSubstr("Referer: http://" + kAddress + "/new.xml\r\n"));
  }
}

TEST_F(RedirectTest, RelativeAndOddlyWrittenLocationsAreResolved) {
  const std::string sameHost = "LOCATION:  //" + kAddress + "/other.xml ";
  const struct {
    const char* header;
    const char* path;
  } cases[] = {
      {"Location: new.xml", "GET /feeds/new.xml"},
      {"location: /top.xml", "GET /top.xml"},
      {sameHost.c_str(), "GET /other.xml"},
      {"Location: ?page=2", "GET /feeds/news.xml?page=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    feed = Feed(kUrl, env);
    ASSERT_TRUE(fetch({Script().send(httpAnswer("HTTP/1.0 302 Found", {c.header}, "")), ok()}));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(paths()[1], c.path);
  }
}

TEST_F(RedirectTest, FiveHopsAreFollowedASixthIsTooMany) {
  std::vector<Script> five;
  for (int i = 1; i <= 5; ++i) five.push_back(redirect(302, "/hop" + std::to_string(i)));
  std::vector<Script> six = five;
  six.push_back(redirect(302, "/hop6"));
  five.push_back(ok());
  six.push_back(ok());

  EXPECT_TRUE(fetch(five));
  EXPECT_EQ(requests.size(), 6u);

  feed = Feed(kUrl, env);
  EXPECT_FALSE(fetch(six));
  EXPECT_EQ(requests.size(), 6u);
  EXPECT_EQ(feed.errorText, "Too many redirects.");
  EXPECT_TRUE(body.empty());
  EXPECT_THAT(log(), HasSubstr(" --> Error: Too many redirects. (" + kUrl + ")\n"));

  // A loop ends the same way.
  feed = Feed(kUrl, env);
  EXPECT_FALSE(fetch({redirect(307, kUrl)}));
  EXPECT_EQ(feed.errorText, "Too many redirects.");
}

TEST_F(RedirectTest, APermanentMoveIsRememberedAndLoggedOnce) {
  const std::string target = "http://" + kAddress + "/moved.xml";
  ASSERT_TRUE(fetch({redirect(301, target), ok(), ok()}, 2));
  EXPECT_EQ(paths(),
            (std::vector<std::string>{"GET /feeds/news.xml", "GET /moved.xml", "GET /moved.xml"}));
  const std::string line = " --> Feed moved permanently to " + target + "\n";
  const std::string text = log();
  ASSERT_THAT(text, HasSubstr(line));
  EXPECT_EQ(text.find(line), text.rfind(line));
  // The feed keeps the address it was added with.
  EXPECT_EQ(feed.url, kUrl);
}

TEST_F(RedirectTest, ATemporaryMoveOrNoMemoryAsksTheOldAddressAgain) {
  ASSERT_TRUE(fetch({redirect(302, "/moved.xml"), ok()}, 2));
  EXPECT_EQ(paths()[2], "GET /feeds/news.xml");

  env.moved = nullptr;
  feed = Feed(kUrl, env);
  ASSERT_TRUE(fetch({redirect(308, "/moved.xml"), ok()}, 2));
  EXPECT_EQ(paths()[2], "GET /feeds/news.xml");
  EXPECT_THAT(log(), Not(HasSubstr("moved permanently")));
}

TEST_F(RedirectTest, ValidatorsGoToEveryHopAndA304AfterARedirectCounts) {
  feed.state.setHasData(true);
  feed.state.setFirstRun(false);
  feed.etag = "\"v1\"";
  ASSERT_TRUE(fetch({redirect(302, "/b.xml"), Script().send("HTTP/1.1 304 Not Modified\r\n\r\n")}));
  EXPECT_TRUE(feed.state.notModified);
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) EXPECT_THAT(r, HasSubstr("If-None-Match: \"v1\"\r\n"));
}

TEST_F(RedirectTest, TheTraceShowsEachHop) {
  DownloadTrace trace;
  LoopbackServer server(kAddress, {redirect(301, "/b.xml"), ok()});
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(download(feed, body, &trace));
  ASSERT_EQ(trace.hops.size(), 2u);
  EXPECT_EQ(trace.hops[0].url, kUrl);
  EXPECT_THAT(trace.hops[0].head, StartsWith("HTTP/1.1 301 Moved\r\nLocation: /b.xml\r\n"));
  EXPECT_EQ(trace.hops[1].url, "http://" + kAddress + "/b.xml");
  EXPECT_THAT(trace.hops[1].head, StartsWith("HTTP/1.1 200 OK\r\n"));
}

TEST_F(RedirectTest, TheFactsNameTheFinalAddressAndItsCharset) {
  const struct {
    const char* contentType;
    const char* charset;
  } cases[] = {
      {"Content-Type: text/xml; charset=ISO-8859-2", "ISO-8859-2"},
      {"content-type: text/xml;CHARSET=\"utf-8\"; q=1", "utf-8"},
      {"Content-Type: text/xml; format=charset", ""},
      {"Content-Type: text/xml", ""},
      {"X-Other: charset=utf-8", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contentType);
    feed = Feed(kUrl, env);
    MovedFeeds fresh;
    env.moved = &fresh;
    DownloadFacts facts{"left over", "left over", "left over"};
    LoopbackServer server(kAddress, {Script().send(httpAnswer("HTTP/1.0 302 Found",
                                                              {"Location: /b.xml",
                                                               "Content-Type: text/html; charset=x"},
                                                              "")),
                                     ok({c.contentType})});
    ASSERT_TRUE(server.ok());
    ASSERT_TRUE(download(feed, body, nullptr, &facts));
    EXPECT_EQ(facts.finalUrl, "http://" + kAddress + "/b.xml");
    EXPECT_EQ(facts.charset, c.charset) << "of the final answer only";
  }
}

}  // namespace
}  // namespace korvo
