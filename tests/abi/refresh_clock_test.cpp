// The refresh policy through the exports, with the plug-in's clock moved by
// libfaketime in a child process: interval, retry after a failure, and a
// clock set back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/case_address.h"
#include "support/loopback_server.h"
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

TEST(RefreshClockTest, IntervalRetryAndClockSetBackThroughTheExports) {
  KORVO_SKIP_WITHOUT_PORT_80();
  if (access(kFaketime, R_OK) != 0) GTEST_SKIP() << "libfaketime is not installed (faketime)";
  LoopbackServer server(test::caseAddress(),
                        {ok("one"), ok("two"), Script().send(httpAnswer("HTTP/1.0 503 Busy", {}, "")),
                         ok("three"), ok("four")});
  ASSERT_TRUE(server.ok()) << server.error();

  test::TempDir dir;
  std::string plugin = dir.file("libkorvo.so");
  test::writeWholeFile(plugin, test::readWholeFile(KORVO_PLUGIN_PATH));
  test::writeWholeFile(dir.file("Korvo.ini"),
                       "[Settings]\nShowError=no\n[NewsSites]\nNews=" + server.url("/feed.xml") +
                           "\n");
  test::writeWholeFile(dir.file("host.ini"), "[M]\nNewsSite=News\nUpdateIntervall=180\n");
  std::string timeFile = dir.file("now.txt");

  auto at = [](long offset) { return "at=" + std::to_string(kStart + offset); };
  test::ProgramRun run;
  run.args = {KORVO_CLOCK_DRIVER_PATH, plugin, timeFile, dir.file("host.ini"),
              at(0),   "meter=M", "title=0",  // first query downloads "one"
              at(179), "title=0",             // inside the interval
              at(180), "title=0",             // due: "two"
              at(360), "title=0",             // due, the server fails: "two" stays
              at(369), "title=0",             // waiting for the retry
              at(370), "title=0",             // retried: "three"
              at(300), "title=0"};            // clock set back: due, "four"
  test::writeWholeFile(timeFile, "2027-01-15 08:00:00\n");
  // No shared memory: libfaketime's semaphores have aborted the child under
  // the sanitizers.
  run.env = {"LD_PRELOAD=" + std::string(kFaketime), "FAKETIME_TIMESTAMP_FILE=" + timeFile,
             "FAKETIME_NO_CACHE=1",           "FAKETIME_DISABLE_SHM=1",
             "TZ=UTC",                         "ASAN_OPTIONS=verify_asan_link_order=0"};
  test::ProgramResult r = test::runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "meter 0\ntitle one\ntitle one\ntitle two\ntitle two\ntitle two\ntitle three\n"
            "title four\n");
  EXPECT_EQ(server.connections(), 5u);
}

}  // namespace
}  // namespace korvo
