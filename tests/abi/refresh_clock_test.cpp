// The refresh policy through the exports, with the plug-in's clock moved by
// libfaketime in a child process: interval, retry after a failure, and a
// clock set back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/prerequisite.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::httpAnswer;
using test::LoopbackServer;
using test::Script;

constexpr const char* kFaketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
constexpr long kStart = 1800000000;  // 2027-01-15

std::string rss(const std::string& title) {
  return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" + title +
         "</title></channel></rss>\n";
}
Script ok(const std::string& title) {
  return Script().send(httpAnswer("HTTP/1.0 200 OK", {}, rss(title)));
}

// Runs the clock driver under libfaketime on a plug-in copy whose Korvo.ini
// is korvoIni and whose host INI holds one meter [M]; commands as the
// driver takes them.
test::ProgramResult runWithClock(const std::string& korvoIni, const std::string& hostIni,
                                 const std::vector<std::string>& commands) {
  test::TempDir dir;
  std::string plugin = dir.file("libkorvo.so");
  test::writeWholeFile(plugin, test::readWholeFile(KORVO_PLUGIN_PATH));
  test::writeWholeFile(dir.file("Korvo.ini"), korvoIni);
  test::writeWholeFile(dir.file("host.ini"), hostIni);
  std::string timeFile = dir.file("now.txt");
  test::ProgramRun run;
  run.args = {KORVO_CLOCK_DRIVER_PATH, plugin, timeFile, dir.file("host.ini")};
  run.args.insert(run.args.end(), commands.begin(), commands.end());
  test::writeWholeFile(timeFile, "2027-01-15 08:00:00\n");
  // No shared memory: libfaketime's semaphores have aborted the child under
  // the sanitizers.
  run.env = {"LD_PRELOAD=" + std::string(kFaketime),
             "FAKETIME_TIMESTAMP_FILE=" + timeFile,
             "FAKETIME_NO_CACHE=1",
             "FAKETIME_DISABLE_SHM=1",
             "TZ=UTC",
             "ASAN_OPTIONS=verify_asan_link_order=0"};
  return test::runProgram(run);
}

std::string at(long offset) { return "at=" + std::to_string(kStart + offset); }

TEST(RefreshClockTest, IntervalRetryAndClockSetBackThroughTheExports) {
  KORVO_SKIP_WITHOUT_PORT_80();
  if (access(kFaketime, R_OK) != 0) KORVO_SKIP_FOR_PREREQUISITE() << "libfaketime is not installed (faketime)";
  LoopbackServer server(
      test::caseAddress(),
      {ok("one"), ok("two"), Script().send(httpAnswer("HTTP/1.0 503 Busy", {}, "")), ok("three"),
       ok("four")});
  ASSERT_TRUE(server.ok()) << server.error();

  test::ProgramResult r =
      runWithClock("[Settings]\nWaitForDownload=-1\nShowError=no\n[NewsSites]\nNews=" + server.url("/feed.xml") + "\n",
                   "[M]\nNewsSite=News\nUpdateIntervall=180\n",
                   {at(0), "meter=M", "title=0",  // first query downloads "one"
                    at(179), "title=0",           // inside the interval
                    at(180), "title=0",           // due: "two"
                    at(360), "title=0",           // due, the server fails: "two" stays
                    at(369), "title=0",           // waiting for the retry
                    at(370), "title=0",           // retried: "three"
                    at(300), "title=0"});         // clock set back: due, "four"
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "meter 0\ntitle one\ntitle one\ntitle two\ntitle two\ntitle two\ntitle three\n"
            "title four\n");
  EXPECT_EQ(server.connections(), 5u);
}

// A 304 to the first request is a failure like any other: retried after
// ten seconds, not a meter left blank for good. Then good (v1), bad (v2)
// and a 304: the meter never goes blank without its error, and "v2" is
// never sent.
TEST(RefreshClockTest, NotModifiedWithoutValidatorsAndAfterABadDocument) {
  KORVO_SKIP_WITHOUT_PORT_80();
  if (access(kFaketime, R_OK) != 0) KORVO_SKIP_FOR_PREREQUISITE() << "libfaketime is not installed (faketime)";
  const Script notModified = Script().send("HTTP/1.1 304 Not Modified\r\n\r\n");
  LoopbackServer server(
      test::caseAddress(),
      {notModified, Script().send(httpAnswer("HTTP/1.0 200 OK", {"ETag: \"v1\""}, rss("one"))),
       Script().send(httpAnswer("HTTP/1.0 200 OK", {"ETag: \"v2\""},
                                "<rss version=\"2.0\"><nochannel/></rss>")),
       notModified, ok("two")});
  ASSERT_TRUE(server.ok()) << server.error();
  test::ProgramResult r =
      runWithClock("[Settings]\nWaitForDownload=-1\nShowError=yes\n[NewsSites]\nNews=" + server.url("/feed.xml") + "\n",
                   "[M]\nNewsSite=News\nUpdateIntervall=60\n",
                   {at(0), "meter=M", "title=0",  // 304 to a plain request
                    at(9), "title=0",             // waiting for the retry
                    at(10), "title=0",            // retried: "one", ETag v1
                    at(70), "title=0",            // due: v2 does not parse
                    at(80), "title=0",            // retried without validators: 304
                    at(90), "title=0"});          // retried: "two"
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string refused =
      "title Server answered 'not modified' to a request without validators.\n";
  EXPECT_EQ(r.out, "meter 0\n" + refused + refused + "title one\ntitle Invalid rss document.\n" +
                       refused + "title two\n");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_THAT(requests[2], ::testing::HasSubstr("If-None-Match: \"v1\"\r\n"));
  for (std::size_t i : {0u, 1u, 3u, 4u}) {
    SCOPED_TRACE(i);
    EXPECT_THAT(requests[i], ::testing::Not(::testing::HasSubstr("If-")));
  }
}

// New items through the exports, each download in its own second of the
// plug-in's clock: none at the first, the new one at the next, none when
// the next brings it again or answers "not modified"; MaxAge and relative
// dates follow the same clock.
TEST(RefreshClockTest, MarksAndDatesFollowTheDownloadsAndTheClock) {
  KORVO_SKIP_WITHOUT_PORT_80();
  if (access(kFaketime, R_OK) != 0) KORVO_SKIP_FOR_PREREQUISITE() << "libfaketime is not installed (faketime)";
  const auto doc = [](const std::vector<std::string>& titles) {
    std::string items;
    for (const std::string& t : titles)
      items += "<item><title>" + t + "</title><guid>" + t +
               "</guid><pubDate>Fri, 15 Jan 2027 07:00:00 GMT</pubDate></item>";
    return "<rss version=\"2.0\"><channel><title>T</title>" + items + "</channel></rss>";
  };
  const auto answer = [&](const std::vector<std::string>& titles, const char* etag) {
    return Script().send(httpAnswer("HTTP/1.0 200 OK", {std::string("ETag: ") + etag}, doc(titles)));
  };
  LoopbackServer server(test::caseAddress(),
                        {answer({"a", "b"}, "\"1\""), answer({"c", "a", "b"}, "\"2\""),
                         answer({"c", "a", "b"}, "\"3\""), answer({"d", "c"}, "\"4\""),
                         Script().send("HTTP/1.1 304 Not Modified\r\n\r\n"),
                         Script().send("HTTP/1.1 304 Not Modified\r\n\r\n")});
  ASSERT_TRUE(server.ok()) << server.error();
  test::ProgramResult r = runWithClock(
      "[Settings]\nWaitForDownload=-1\nShowError=no\n[NewsSites]\nNews=" +
          server.url("/feed.xml") + "\n",
      "[M]\nNewsSite=News\nUpdateIntervall=60\nMarkNew=\"+ \"\nMaxAge=2\nDateFormat=relative\n",
      {at(0), "meter=M", "list=0,9", "date=0,0",  // 08:00, an hour after the items' date
       at(60), "list=0,9",                         // c is new
       at(120), "list=0,9",                        // here again
       at(180), "list=0,9",                        // d is new
       at(240), "list=0,9",                        // not modified
       at(3600), "list=0,9", "date=0,0",           // 09:00, not modified: two hours old
       at(3601), "list=0,9"});                     // more than two hours old: gone
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "meter 0\nlist a|b\ndate 1 h ago\nlist + c|a|b\nlist c|a|b\nlist + d|c\nlist d|c\n"
            "list d|c\ndate 2 h ago\nlist T\n");
  EXPECT_EQ(server.connections(), 6u);
}

}  // namespace
}  // namespace korvo
