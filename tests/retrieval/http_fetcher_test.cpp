#include "retrieval/http_fetcher.h"

#include "retrieval/feed_refresh.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

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
using Ms = std::chrono::milliseconds;

// Nobody listens here: outside the addresses of the cases.
constexpr const char* kDeadAddress = "127.0.3.3";
const std::string kRss =
    "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>"
    "<title>T</title></channel></rss>\n";

std::string ok200(const std::string& body, const std::vector<std::string>& headers = {}) {
  return httpAnswer("HTTP/1.0 200 OK", headers, body);
}

class HttpFetcherTest : public ::testing::Test {
 protected:
  HttpFetcherTest() {
    logger.openLog(dir.path());
    logger.setEnabled(true);
    env.log = &logger;
    env.clock = &clock;
  }

  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // One download of feed from a server that plays script.
  bool fetch(const Script& script) { return fetchAll({script}, 1); }

  // `downloads` downloads in a row, one per script, as the refresh would
  // run them after a success.
  bool fetchAll(const std::vector<Script>& scripts, int downloads) {
    LoopbackServer server(kAddress, scripts);
    EXPECT_TRUE(server.ok()) << server.error();
    bool ok = false;
    for (int i = 0; i < downloads; ++i) {
      if (i > 0) {
        feed.state.setHasData(true);
        feed.state.setFirstRun(false);
      }
      body = "left over";
      ok = download(feed, body);
    }
    server.waitForFinished(static_cast<std::size_t>(downloads), Ms(5000));
    requests = server.requests();
    return ok;
  }

  std::string log() const { return test::readWholeFile(dir.file("Korvolog.txt")); }

  // The request of a first download of url, whose path is path.
  std::string firstRequest(const std::string& url, const std::string& path) const {
    return "GET " + path + " HTTP/1.0\r\n" +
           "User-Agent: Korvo/0.93\r\n"
           "Connection: close\r\n"
           "Referer: " +
           url + "\r\n" + "Host: " + kAddress + ":80\r\n" + "\r\n";
  }

  void expectFailure(const std::string& message) { expectFailure(message, kUrl); }

  // The feed's URL as the error line names it.
  void expectFailure(const std::string& message, const std::string& shownUrl) {
    EXPECT_EQ(feed.errorText, message);
    EXPECT_TRUE(body.empty());
    EXPECT_FALSE(feed.state.notModified);
    EXPECT_THAT(log(), HasSubstr(" --> Error: " + message + " (" + shownUrl + ")\n"));
  }

  // The server of this case listens on an address of its own.
  const std::string kAddress = test::caseAddress();
  const std::string kUrl = "http://" + kAddress + "/feeds/news.xml";
  test::TempDir dir;
  ManualClock clock;
  Logger logger{clock};
  Environment env;
  Feed feed{kUrl, env};
  std::string body;
  std::vector<std::string> requests;
};

TEST_F(HttpFetcherTest, FirstDownloadSendsThePlainRequestAndReturnsTheBody) {
  feed = Feed(kUrl + "?a=1&b=%20#top", env);
  feed.lastModified = "stored date";
  feed.etag = "\"stored\"";
  feed.errorText = "previous failure";

  ASSERT_TRUE(fetch(Script().send(ok200(kRss, {"Content-Type: text/xml"}))));

  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], firstRequest(feed.url, "/feeds/news.xml?a=1&b=%20#top"));
  EXPECT_EQ(body, kRss);
  EXPECT_EQ(feed.errorText, "");
  EXPECT_FALSE(feed.state.notModified);
  EXPECT_FALSE(feed.isRdf);
  EXPECT_FALSE(feed.isAtom);
  EXPECT_EQ(log(), "Sun Sep 09 01:46:40 2001 --> Downloading rss: " + feed.url + "\n");
}

struct ConditionalCase {
  const char* name;
  bool hasData;
  bool firstRun;
  const char* lastModified;
  const char* etag;
  const char* extraLines;
};

const ConditionalCase kConditionalCases[] = {
    {"both validators", true, false, "Mon, 01 Jan 2024 10:00:00 GMT", "\"v1\"",
     "If-Modified-Since: Mon, 01 Jan 2024 10:00:00 GMT\r\nIf-None-Match: \"v1\"\r\n"},
    {"date only", true, false, "Mon, 01 Jan 2024 10:00:00 GMT", "",
     "If-Modified-Since: Mon, 01 Jan 2024 10:00:00 GMT\r\n"},
    {"tag only", true, false, "", "W/\"v1\"", "If-None-Match: W/\"v1\"\r\n"},
    {"no validators", true, false, "", "", ""},
    {"first run", true, true, "date", "tag", ""},
    {"no data", false, false, "date", "tag", ""},
};

// A 304 counts only as the answer to a request that carried a validator.
TEST_F(HttpFetcherTest, SendsEachValidatorOnlyOnceThereIsDataAndItIsStored) {
  for (const auto& c : kConditionalCases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    feed.state.setHasData(c.hasData);
    feed.state.setFirstRun(c.firstRun);
    feed.lastModified = c.lastModified;
    feed.etag = c.etag;
    LoopbackServer server(kAddress, Script().send("HTTP/1.1 304 Not Modified\r\n\r\n"));
    ASSERT_TRUE(server.ok()) << server.error();
    const bool conditional = *c.extraLines != '\0';
    EXPECT_EQ(download(feed, body), conditional);
    EXPECT_EQ(feed.state.notModified, conditional);
    EXPECT_EQ(feed.errorText,
              conditional ? "" : "Server answered 'not modified' to a request without validators.");
    server.waitForFinished(1, Ms(5000));
    const std::string plain = firstRequest(kUrl, "/feeds/news.xml");
    const std::string expected = plain.substr(0, plain.size() - 2) + c.extraLines + "\r\n";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], expected);
  }
}

struct FailureCase {
  const char* answer;
  const char* message;
  // The feed starts as RDF; failures after the closing-tag check leave the
  // flags as the document set them.
  bool rdfAfter;
  bool atomAfter = false;
  // What the log line names before the URL: the refused status.
  const char* status = nullptr;
};

// Each answer is the smallest one that shows its message.
const FailureCase kFailureCases[] = {
    {"HTTP/1.0 200 OK\n\n<rss></rss>", "Invalid format.", true},
    {"H", "Invalid format.", true},
    {"HTTP/1.0 404 Not Found\r\n\r\n<rss></rss>", "Error transfering data.", true, false,
     "HTTP 404 Not Found"},
    {"HTTP/1.1 500 Internal Server Error\r\n\r\n", "Error transfering data.", true, false,
     "HTTP 500 Internal Server Error"},
    {"HTTP/1.1 200 ok\r\n\r\n<rss></rss>", "Error transfering data.", true, false, "HTTP 200 ok"},
    {"HTTP/1.1 200 OK \r\n\r\n<rss></rss>", "Error transfering data.", true, false,
     "HTTP 200 OK "},
    // No HTTP status to name.
    {" HTTP/1.1 200 OK\r\n\r\n<rss></rss>", "Error transfering data.", true},
    {"http/1.1 200 OK\r\n\r\n<rss></rss>", "Error transfering data.", true},
    {"HTTP/1.1 200 OK\r\r\n\r\n<rss></rss>", "Error transfering data.", true, false,
     "HTTP 200 OK?"},  // control characters never reach the log
    {"HTTP/1.1 200 Okay\r\n\r\n<rss></rss>", "Error transfering data.", true, false,
     "HTTP 200 Okay"},
    {"HTTP/1.1 204 No Content\r\n\r\n", "Error transfering data.", true, false,
     "HTTP 204 No Content"},
    {"HTTP/1.0 403\r\n\r\n", "Error transfering data.", true, false, "HTTP 403"},
    {"HTTP/1.0 404 Not\nFound\r\n\r\n", "Error transfering data.", true, false,
     "HTTP 404 Not?Found"},
    // A redirect that names no usable address is an answer like any other.
    {"HTTP/1.1 302 Found\r\n\r\n<rss></rss>", "Error transfering data.", true, false,
     "HTTP 302 Found"},
    {"HTTP/1.1 301 Moved\r\nLocation: ftp://127.0.0.3/x\r\n\r\n<rss></rss>",
     "Error transfering data.", true, false, "HTTP 301 Moved"},
    {"HTTP/1.1 307 Moved\r\nX-Location: /x\r\n\r\n<rss></rss>", "Error transfering data.", true,
     false, "HTTP 307 Moved"},
    {"http/1.1 304 Not Modified\r\n\r\n", "Error transfering data.", true},
    {"HTTP/1.1 200 OK\r\n\r\n", "Invalid rss format.", false},
    {"HTTP/1.0 200 OK\r\n\r\n<rss><channel><title>cut", "Invalid rss format.", false},
    {"HTTP/1.0 200 OK\r\n\r\n<RSS></RSS>", "Invalid rss format.", false},
    {"HTTP/1.0 200 OK\r\nX: 1\n\n<rss></rss>", "Beginning of data not found.", false},
    {"HTTP/1.0 200 OK\r\nX: </rss>\r\n\r\n", "Beginning of data not found.", false},
    {"HTTP/1.0 200 OK\r\n</feed>\r\n\r\n", "Beginning of data not found.", false, true},
};

TEST_F(HttpFetcherTest, ReportsEachFailureWithItsMessage) {
  for (const auto& c : kFailureCases) {
    SCOPED_TRACE(c.answer);
    feed = Feed(kUrl, env);
    feed.lastModified = "kept date";
    feed.etag = "kept tag";
    feed.isRdf = true;
    EXPECT_FALSE(fetch(Script().send(c.answer)));
    expectFailure(c.message, c.status ? std::string(c.status) + ", " + kUrl : kUrl);
    EXPECT_EQ(feed.isRdf, c.rdfAfter);
    EXPECT_EQ(feed.isAtom, c.atomAfter);
    EXPECT_EQ(feed.lastModified, "kept date");
    EXPECT_EQ(feed.etag, "kept tag");
  }
}

TEST_F(HttpFetcherTest, TheLogShowsAtMostAHundredBytesOfARefusedStatus) {
  const std::string reason(1000, 'R');
  EXPECT_FALSE(fetch(Script().send("HTTP/1.0 404 " + reason + "\r\n\r\n")));
  expectFailure("Error transfering data.", "HTTP 404 " + reason.substr(0, 96) + "..., " + kUrl);
}

TEST_F(HttpFetcherTest, NotModifiedWithAnyReasonPhraseChangesNothingElse) {
  const char* answers[] = {
      "HTTP/1.1 304 Not Modified\r\n\r\n",
      "HTTP/1.0 304\r\n",
      "HTTP/1.1 304 anything at all\r\nETag: \"new\"\r\nLast-Modified: new\r\n\r\n</feed>",
  };
  for (const char* answer : answers) {
    SCOPED_TRACE(answer);
    feed = Feed(kUrl, env);
    feed.state.setHasData(true);
    feed.state.setFirstRun(false);
    feed.lastModified = "old date";
    feed.etag = "\"old\"";
    feed.isRdf = true;
    feed.errorText = "previous failure";
    feed.channel.title = "kept";
    ASSERT_TRUE(fetch(Script().send(answer)));
    EXPECT_TRUE(feed.state.notModified);
    EXPECT_EQ(feed.errorText, "");
    EXPECT_EQ(feed.lastModified, "old date");
    EXPECT_EQ(feed.etag, "\"old\"");
    EXPECT_TRUE(feed.isRdf);
    EXPECT_FALSE(feed.isAtom);
    EXPECT_EQ(feed.field("title"), "kept");
    EXPECT_TRUE(feed.state.hasData);
  }
  EXPECT_THAT(log(), HasSubstr(" --> File not modified since last call: " + kUrl + "\n"));
  EXPECT_THAT(log(), Not(HasSubstr("Error")));
}

TEST_F(HttpFetcherTest, StatusLinesThatAreAccepted) {
  for (const char* status : {"HTTP/1.0 200 OK", "HTTP/1.1 200 OK"}) {
    SCOPED_TRACE(status);
    ASSERT_TRUE(fetch(Script().send(httpAnswer(status, {}, kRss))));
    EXPECT_EQ(body, kRss);
  }
}

struct DialectCase {
  const char* name;
  std::string answer;
  bool rdf;
  bool atom;
};

// ASCII text in UTF-16, little-endian unless big.
std::string utf16(const std::string& ascii, bool big = false) {
  std::string out;
  for (char c : ascii) {
    out += big ? '\0' : c;
    out += big ? c : '\0';
  }
  return out;
}

TEST_F(HttpFetcherTest, TheLastClosingTagDecidesTheDialectRssFirst) {
  const DialectCase cases[] = {
      {"rss", ok200("<rss></rss>"), false, false},
      {"rdf", ok200("<rdf:RDF></rdf:RDF>"), true, false},
      {"atom", ok200("<feed></feed>"), false, true},
      {"rss beats rdf", ok200("<rdf:RDF></rdf:RDF><rss></rss>"), false, false},
      {"rss beats rdf before it", ok200("<rss></rss><rdf:RDF></rdf:RDF>"), false, false},
      {"rdf beats atom", ok200("<feed></feed></rdf:RDF>"), true, false},
      {"rss beats atom", ok200("<feed></rss></feed>"), false, false},
      {"tag only in a header", ok200("<rss><channel>", {"X-Note: </feed>"}), false, true},
      {"text after the tag", ok200("<rss></rss>\ntrailing junk"), false, false},
      // The tag as the document writes it.
      {"rss in UTF-16LE", ok200("\xFF\xFE" + utf16("<rss></rss>")), false, false},
      {"rdf in UTF-16BE", ok200("\xFE\xFF" + utf16("<rdf:RDF></rdf:RDF>", true)), true, false},
      {"atom in UTF-16LE without a mark",
       ok200(utf16("<?xml version='1.0'?><feed></feed>"),
             {"Content-Type: text/xml; charset=utf-16le"}),
       false, true},
      {"rss beats atom in UTF-16", ok200(utf16("<feed></rss></feed>", true)), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    feed.isRdf = !c.rdf;
    feed.isAtom = !c.atom;
    ASSERT_TRUE(fetch(Script().send(c.answer)));
    EXPECT_EQ(feed.isRdf, c.rdf);
    EXPECT_EQ(feed.isAtom, c.atom);
    EXPECT_EQ(body, c.answer.substr(c.answer.find("\r\n\r\n") + 4));
  }
}

// A JSON body is a feed by its Content-Type or by its version; the
// closing tags it seems to hold are text, and it is whole when it ends as
// JSON does.
TEST_F(HttpFetcherTest, AJsonFeedIsKnownByItsTypeOrItsVersion) {
  const std::string versioned =
      "{\"version\": \"https://jsonfeed.org/version/1.1\", \"title\": \"</rss>\", \"items\": []}";
  const std::string unversioned = "{\"title\": \"</rss></feed>\", \"items\": []}";
  const struct {
    const char* name;
    std::string answer;
    const char* message;  // null: accepted
  } cases[] = {
      {"version, no type", ok200(versioned), nullptr},
      {"version, any type", ok200(versioned, {"Content-Type: text/plain"}), nullptr},
      {"version after a byte-order mark and blanks", ok200("\xEF\xBB\xBF\r\n " + versioned + "\n"),
       nullptr},
      {"feed type, no version", ok200(unversioned, {"Content-Type: application/feed+json"}), nullptr},
      {"feed type in capitals with a charset",
       ok200(unversioned, {"content-type: Application/Feed+JSON ; charset=utf-8"}), nullptr},
      {"feed type, an array", ok200("[]", {"Content-Type: application/feed+json"}), nullptr},
      {"plain JSON type, no version", ok200(unversioned, {"Content-Type: application/json"}),
       "Invalid rss format."},
      {"no type, no version", ok200(unversioned), "Invalid rss format."},
      {"feed type only in the body", ok200(unversioned + "\nContent-Type: application/feed+json"),
       "Invalid rss format."},
      {"cut short", ok200(versioned.substr(0, versioned.size() - 2)), "Invalid rss format."},
      {"feed type, cut short",
       ok200(unversioned.substr(0, 20), {"Content-Type: application/feed+json"}),
       "Invalid rss format."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    feed.isAtom = true;
    if (c.message) {
      EXPECT_FALSE(fetch(Script().send(c.answer)));
      expectFailure(c.message);
      // The same answer cut by a reset says so.
      feed = Feed(kUrl, env);
      EXPECT_FALSE(fetch(Script().send(c.answer).pause(Ms(50)).reset()));
      expectFailure("Connection lost while receiving data.");
    } else {
      ASSERT_TRUE(fetch(Script().send(c.answer))) << feed.errorText;
      EXPECT_FALSE(feed.isRdf);
      EXPECT_FALSE(feed.isAtom);
      EXPECT_EQ(body, c.answer.substr(c.answer.find("\r\n\r\n") + 4));
    }
  }
}

// The answer's Content-Language is the channel's language when the
// document names none, in the feed's own channel and in every cleanup of
// it; only a language tag is taken.
TEST_F(HttpFetcherTest, ContentLanguageIsTheLanguageOfADocumentThatNamesNone) {
  const std::string unnamed = kRss;
  const std::string named =
      "<rss version=\"2.0\"><channel><title>T</title><language>fr</language></channel></rss>";
  const struct {
    const char* name;
    std::string body;
    std::vector<std::string> headers;
    const char* language;
  } cases[] = {
      {"one tag", unnamed, {"Content-Language: de-AT"}, "de-AT"},
      {"the first of several", unnamed, {"content-language:  en-GB, de"}, "en-GB"},
      {"the document's own first", named, {"Content-Language: de"}, "fr"},
      {"JSON Feed without one", "{\"version\": \"https://jsonfeed.org/version/1.1\"}",
       {"Content-Language: nl"}, "nl"},
      {"no tag", unnamed, {"Content-Language: <b>%tt</b>"}, ""},
      {"too long for a tag", unnamed, {"Content-Language: " + std::string(36, 'a')}, ""},
      {"none", unnamed, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    LoopbackServer server(kAddress, {Script().send(ok200(c.body, c.headers))});
    ASSERT_TRUE(server.ok()) << server.error();
    CleanupOptions options;
    refresh(feed, limits::kDefaultUpdateInterval, options);
    server.waitForFinished(1, Ms(5000));
    ASSERT_EQ(feed.errorText, "");
    EXPECT_EQ(feed.field("language"), c.language);
    options.FilterHtml = false;
    refresh(feed, limits::kDefaultUpdateInterval, options);
    EXPECT_EQ(feed.field("language", options), c.language);
  }
}

struct ValidatorCase {
  const char* name;
  std::string answer;
  const char* lastModified;
  const char* etag;
};

TEST_F(HttpFetcherTest, TakesValidatorsTheWayTheyAreWritten) {
  const ValidatorCase cases[] = {
      {"plain", ok200(kRss, {"Last-Modified: Mon, 01 Jan 2024 10:00:00 GMT", "ETag: abc"}),
       "Mon, 01 Jan 2024 10:00:00 GMT", "abc"},
      {"quoted tag keeps its quotes", ok200(kRss, {"ETag: \"abc\""}), "old date", "\"abc\""},
      {"no blank after the colon", ok200(kRss, {"Last-Modified:Mon, 01 Jan 2024"}),
       "Mon, 01 Jan 2024", "old tag"},
      {"trailing blank kept", ok200(kRss, {"ETag: abc "}), "old date", "abc "},
      {"empty value", ok200(kRss, {"ETag: "}), "old date", ""},
      {"names in any letter case", ok200(kRss, {"Etag: abc", "last-modified: x"}), "x", "abc"},
      {"headers gone", ok200(kRss), "old date", "old tag"},
      {"name only in the body", ok200("<rss>ETag: body\r\nLast-Modified: body\r\n</rss>"),
       "old date", "old tag"},
      {"a longer name does not count", ok200(kRss, {"X-ETag-Hint: first", "ETag: second"}),
       "old date", "second"},
      {"only at the start of a line", ok200(kRss, {"X-Hint: ETag: no"}), "old date", "old tag"},
      {"first of two", ok200(kRss, {"ETag: one", "ETAG: two"}), "old date", "one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    feed.lastModified = "old date";
    feed.etag = "old tag";
    ASSERT_TRUE(fetch(Script().send(c.answer)));
    EXPECT_EQ(feed.lastModified, c.lastModified);
    EXPECT_EQ(feed.etag, c.etag);
  }
}

TEST_F(HttpFetcherTest, StoredValidatorsGoBackAsTheyCameAndOutliveTheirHeaders) {
  const std::vector<Script> scripts = {
      Script().send(ok200(kRss, {"Last-Modified: Tue, 02 Jan 2024 10:00:00 GMT", "ETag: \"v1\""})),
      Script().send(ok200(kRss)),
      Script().send("HTTP/1.1 304 Not Modified\r\n\r\n"),
  };
  ASSERT_TRUE(fetchAll(scripts, 3));
  EXPECT_TRUE(feed.state.notModified);
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_THAT(requests[0], Not(HasSubstr("If-")));
  const std::string conditional = "Host: " + kAddress + ":80\r\n" +
                                  "If-Modified-Since: Tue, 02 Jan 2024 10:00:00 GMT\r\n"
                                  "If-None-Match: \"v1\"\r\n"
                                  "\r\n";
  EXPECT_THAT(requests[1], HasSubstr(conditional));
  EXPECT_THAT(requests[2], HasSubstr(conditional));
}

TEST_F(HttpFetcherTest, AServerThatClosesOrResetsAtOnceSendsNoData) {
  const Script scripts[] = {
      Script().dontWaitForRequest(),
      Script(),
      Script().dontReadRequest().reset(),
      Script().reset(),
  };
  for (const auto& script : scripts) {
    feed = Feed(kUrl, env);
    EXPECT_FALSE(fetch(script));
    expectFailure("No data recieved");
  }
}

TEST_F(HttpFetcherTest, AServerThatNeverAnswersTimesOut) {
  env.limits.receiveTimeoutMs = 200;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetch(Script().stall()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(5000));
  expectFailure("No data recieved");
  EXPECT_EQ(requests.size(), 1u);
}

TEST_F(HttpFetcherTest, AReceiveTimeOutEndsTheAnswerWhereItIs) {
  env.limits.receiveTimeoutMs = 200;
  EXPECT_FALSE(fetch(Script().send("HTTP/1.0 200 OK\r\n\r\n<rss><channel>").stall()));
  expectFailure("Server stopped sending data.");

  EXPECT_TRUE(fetch(Script().send(ok200(kRss)).stall()));
  EXPECT_EQ(body, kRss);
}

// A connection cut before the answer is whole is reported as what it is;
// a whole answer is taken however the connection ends after it.
TEST_F(HttpFetcherTest, AnAnswerCutShortSaysHowItEnded) {
  env.limits.receiveTimeoutMs = 200;
  const std::string whole = ok200(kRss);
  const std::string half = whole.substr(0, whole.size() / 2);
  struct Case {
    const char* name;
    Script script;
    const char* message;  // null: accepted
    const char* status = nullptr;  // named in the log line
  } cases[] = {
      {"reset after half the body", Script().send(half).pause(Ms(50)).reset(),
       "Connection lost while receiving data."},
      {"reset inside the status line", Script().send("HTTP/1.0 2").pause(Ms(50)).reset(),
       "Connection lost while receiving data."},
      {"reset inside the header",
       Script().send("HTTP/1.0 200 OK\r\nX: </rss>").pause(Ms(50)).reset(),
       "Connection lost while receiving data."},
      {"stall after half the body", Script().send(half).stall(), "Server stopped sending data."},
      {"a refusal, then a reset",
       Script().send("HTTP/1.0 404 Not Found\r\n\r\n<rss>").pause(Ms(50)).reset(),
       "Error transfering data.", "HTTP 404 Not Found"},
      {"half the body, then an orderly close", Script().send(half), "Invalid rss format."},
      {"the whole answer, then a reset", Script().send(whole).pause(Ms(50)).reset(), nullptr},
      {"the whole answer, then a stall", Script().send(whole).stall(), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    feed = Feed(kUrl, env);
    if (c.message) {
      EXPECT_FALSE(fetch(c.script));
      expectFailure(c.message, c.status ? std::string(c.status) + ", " + kUrl : kUrl);
    } else {
      EXPECT_TRUE(fetch(c.script));
      EXPECT_EQ(body, kRss);
    }
  }
}

TEST_F(HttpFetcherTest, ADrippingServerIsCutOffAtTheTimeBound) {
  env.limits.receiveTimeoutMs = 1000;
  env.limits.maxDownloadMs = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetch(Script().sendInChunks(ok200(kRss), {1}, Ms(40))));
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(3000));
  expectFailure("Download took too long.");
}

TEST_F(HttpFetcherTest, TheLastReceiveWaitsNoLongerThanTheTimeLeft) {
  env.limits.receiveTimeoutMs = 60000;
  env.limits.maxDownloadMs = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetch(Script().send(ok200(kRss)).stall()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(3000));
  expectFailure("Download took too long.");
}

TEST_F(HttpFetcherTest, AnAnswerPastTheSizeBoundIsRefused) {
  env.limits.maxResponseBytes = 4096;
  EXPECT_FALSE(fetch(Script().send("HTTP/1.0 200 OK\r\n\r\n<rss>").flood(std::string(1000, 'x'))));
  expectFailure("Response too large.");

  const std::string answer = ok200("<rss>" + std::string(5000, 'x') + "</rss>");
  env.limits.maxResponseBytes = answer.size();
  EXPECT_TRUE(fetch(Script().send(answer)));
  EXPECT_EQ(body.size(), 5011u);

  env.limits.maxResponseBytes = answer.size() - 1;
  EXPECT_FALSE(fetch(Script().send(answer)));
  expectFailure("Response too large.");
}

TEST_F(HttpFetcherTest, UnreachableHostsAreUnableToConnect) {
  // Each with the URL as the log names it: without user name and password.
  const std::pair<std::string, std::string> urls[] = {
      {"http://" + kAddress + ":81/feeds/news.xml", ""},  // nobody listens on that port
      {"http://" + kAddress + ":0/feeds/news.xml", ""},
      {"http://" + kAddress + ":99999/feeds/news.xml", ""},
      {"http://[" + kAddress + "]/feeds/news.xml", ""},
      {std::string("http://") + kDeadAddress + "/feeds/news.xml", ""},
      {"http://bad..host/feeds/news.xml", ""},
      {"http://user@" + kAddress + "/feeds/news.xml", kUrl},
      {"http://user:secret@" + kAddress + "/feeds/news.xml", kUrl},
      {"http:////feeds/news.xml", ""},
      {"not a url", ""},
  };
  // A server is listening, so only the host names can be at fault.
  LoopbackServer server(kAddress, Script().send(ok200(kRss)));
  ASSERT_TRUE(server.ok()) << server.error();
  for (const auto& [url, redacted] : urls) {
    SCOPED_TRACE(url);
    const std::string shown = redacted.empty() ? url : redacted;
    feed = Feed(url, env);
    body = "left over";
    EXPECT_FALSE(download(feed, body));
    expectFailure("Unable to connect", shown);
    EXPECT_THAT(log(), HasSubstr(" --> Downloading rss: " + shown + "\n"));
  }
  EXPECT_THAT(log(), Not(HasSubstr("user")));
  EXPECT_EQ(server.connections(), 0u);
}

TEST_F(HttpFetcherTest, AConnectWithoutAnswerTimesOut) {
  env.limits.connectTimeoutMs = 300;
  LoopbackServer server = LoopbackServer::unanswered(kAddress);
  ASSERT_TRUE(server.ok()) << server.error();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(download(feed, body));
  EXPECT_LT(std::chrono::steady_clock::now() - start, Ms(3000));
  expectFailure("Unable to connect");
}

TEST_F(HttpFetcherTest, ABodyInOddChunksArrivesByteForByte) {
  std::string document = "<rss>";
  for (int i = 0; i < 5000; ++i) document += static_cast<char>((i * 7 + 3) % 256);
  document += "</rss>";
  const std::string answer = ok200(document, {"ETag: \"odd\""});
  // The blank line that ends the header is split across two pieces.
  const std::size_t split = answer.find("\r\n\r\n") + 2;
  ASSERT_TRUE(fetch(Script()
                        .sendInChunks(answer.substr(0, split), {3, 1})
                        .sendInChunks(answer.substr(split), {1, 1023, 1024, 1025, 7}, Ms(1))));
  EXPECT_EQ(body, document);
  EXPECT_EQ(feed.etag, "\"odd\"");
}

}  // namespace
}  // namespace korvo
