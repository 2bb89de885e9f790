// korvo.dll unloaded while a download worker runs: the worker holds its own
// reference to the library, so the host's FreeLibrary leaves it loaded
// until the worker has ended, and the library then unloads itself from
// that thread; with dllshutdown first, nothing is left holding it.
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "support/case_address.h"
#include "support/large_feed.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::Gate;
using test::LoopbackServer;
using test::PluginLibrary;
using test::Script;
using SteadyClock = std::chrono::steady_clock;

// Only a hang guard: every wait below ends on an event long before.
constexpr std::chrono::milliseconds kHangGuard{20000};

std::string rssAnswer(const std::string& title) {
  return test::httpAnswer("HTTP/1.0 200 OK", {"Content-Type: text/xml"},
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
                              "</title></channel></rss>");
}

// Looks until the system has unloaded path (a look at the loader's list,
// not a guess at a time); false when the guard ran out.
bool waitUntilUnloaded(const std::string& path) {
  for (auto until = SteadyClock::now() + kHangGuard; SteadyClock::now() < until;) {
    if (!test::isMapped(path)) return true;
    Sleep(10);
  }
  return !test::isMapped(path);
}

std::size_t threadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  std::size_t n = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  CloseHandle(snapshot);
  return n;
}

DWORD handleCount() {
  DWORD n = 0;
  GetProcessHandleCount(GetCurrentProcess(), &n);
  return n;
}

class UnloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=News\n");
    test::writeWholeFile(dir_.file("Korvo.ini"),
                         "[Settings]\nDoLog=yes\nWaitForDownload=0\n[NewsSites]\nNews=http://" +
                             kAddress + "/feed.xml\n");
  }
  int meter(PluginLibrary& lib) {
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir_.file("host.ini").c_str(), "A");
    return id;
  }

  const std::string kAddress = test::caseAddress();
  test::TempDir dir_;
};

TEST_F(UnloadTest, AWorkerAliveAtUnloadWithoutShutDownHoldsTheLibraryUntilItEnds) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(kAddress, Script().waitFor(gate).send(rssAnswer("Late")));
  ASSERT_TRUE(server.ok()) << server.error();
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  ASSERT_TRUE(server.waitForRequests(1, kHangGuard)) << "the worker waits for the answer";

  lib.unload();  // no dllshutdown
  EXPECT_TRUE(test::isMapped(lib.path())) << "the worker's reference keeps the library loaded";
  gate->open();
  EXPECT_TRUE(waitUntilUnloaded(lib.path())) << "the last worker's end unloads the library";

  // A new load is a new start, in this same process.
  PluginLibrary again(dir_.path());
  ASSERT_TRUE(again.loaded()) << again.error();
  const int second = meter(again);
  again->GetTitle(second);
  EXPECT_EQ(again->dllshutdown(second), 0);
  again.unload();
  EXPECT_FALSE(test::isMapped(again.path()));
  const std::string log = test::readWholeFile(dir_.file("Korvolog.txt"));
  std::size_t starts = 0;
  for (std::size_t at = log.find("DLLMain()\n"); at != std::string::npos;
       at = log.find("DLLMain()\n", at + 1))
    ++starts;
  EXPECT_EQ(starts, 2u) << "each load started once:\n" << log;
}

TEST_F(UnloadTest, AfterShutDownNoWorkerHoldsTheLibrary) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(kAddress, Script().waitFor(gate).send(rssAnswer("Held")));
  ASSERT_TRUE(server.ok()) << server.error();
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
  EXPECT_EQ(lib->dllshutdown(id), 0) << "cancels the download and ends the workers";
  lib.unload();
  EXPECT_FALSE(test::isMapped(lib.path())) << "unloaded at once";
  gate->open();
}

TEST_F(UnloadTest, ShutDownCancelsAConnectThatGetsNoAnswer) {
  // A connect that gets no answer would last its whole time-out (12 s),
  // and its worker would hold the library that long.
  LoopbackServer server = LoopbackServer::unanswered(kAddress);
  ASSERT_TRUE(server.ok()) << server.error();
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  const std::string started = "Downloading rss: http://" + kAddress + "/feed.xml\n";
  bool downloading = false;
  for (auto until = SteadyClock::now() + kHangGuard; !downloading && SteadyClock::now() < until;) {
    downloading = test::readWholeFile(dir_.file("Korvolog.txt")).find(started) != std::string::npos;
    if (!downloading) Sleep(5);  // a look at the log, not a guess
  }
  ASSERT_TRUE(downloading) << "the worker has begun its download";

  EXPECT_EQ(lib->dllshutdown(id), 0);
  lib.unload();
  EXPECT_FALSE(test::isMapped(lib.path())) << "no worker is left holding the library";
  const std::string log = test::readWholeFile(dir_.file("Korvolog.txt"));
  EXPECT_NE(log.find("Error: Download cancelled. (http://" + kAddress + "/feed.xml)\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("could not be stopped"), std::string::npos) << log;
}

std::size_t startsIn(const std::string& log) {
  std::size_t starts = 0;
  for (std::size_t at = log.find("DLLMain()\n"); at != std::string::npos;
       at = log.find("DLLMain()\n", at + 1))
    ++starts;
  return starts;
}

// A worker ends with its last download: once a query has shown the result,
// no worker holds the library, and a host that unloads without dllshutdown
// and loads again at once gets a new start.
TEST_F(UnloadTest, AnUnloadRightAfterADownloadWithoutShutDownLetsTheNextLoadStartAfresh) {
  LoopbackServer server(kAddress, Script().send(rssAnswer("Shown")));
  ASSERT_TRUE(server.ok()) << server.error();
  std::string path;
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    path = lib.path();
    const int id = meter(lib);
    std::string title = lib->GetTitle(id);
    for (auto until = SteadyClock::now() + kHangGuard; title.empty() && SteadyClock::now() < until;) {
      Sleep(5);  // a look at the answer, not a guess
      title = lib->GetTitle(id);
    }
    ASSERT_EQ(title, "Shown");
  }  // unloaded, no dllshutdown
  EXPECT_FALSE(test::isMapped(path)) << "no idle worker holds the library";
  PluginLibrary again(dir_.path());
  ASSERT_TRUE(again.loaded()) << again.error();
  const int id = meter(again);
  again->dllshutdown(id);
  again.unload();
  EXPECT_EQ(startsIn(test::readWholeFile(dir_.file("Korvolog.txt"))), 2u)
      << test::readWholeFile(dir_.file("Korvolog.txt"));
}

// The last dllshutdown while a worker parses: the parse ends on its own
// (the shut-down waits for it), nothing holds the library past the unload,
// and the next load starts afresh.
TEST_F(UnloadTest, ShutDownDuringAParseHoldsTheLibraryOnlyUntilTheParseEnds) {
  LoopbackServer server(kAddress, Script().send(test::httpAnswer(
                                      "HTTP/1.0 200 OK", {"Content-Type: text/xml"}, test::largeFeed())));
  ASSERT_TRUE(server.ok()) << server.error();
  std::string path;
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    path = lib.path();
    const int id = meter(lib);
    EXPECT_EQ(std::string(lib->GetTitle(id)), "");
    ASSERT_TRUE(server.waitForFinished(1, kHangGuard)) << "the download has ended; the parse begins";
    EXPECT_EQ(lib->dllshutdown(id), 0);
  }
  EXPECT_TRUE(waitUntilUnloaded(path)) << "the worker's end unloads the library";
  PluginLibrary again(dir_.path());
  ASSERT_TRUE(again.loaded()) << again.error();
  again->dllshutdown(meter(again));
  again.unload();
  const std::string log = test::readWholeFile(dir_.file("Korvolog.txt"));
  EXPECT_EQ(startsIn(log), 2u) << log;
  EXPECT_NE(test::readWholeFile(dir_.file("Korvo.ini")).find("ShowError=no"), std::string::npos)
      << "the switches are written at each unload";
}

TEST_F(UnloadTest, LoadUseAndUnloadAHundredTimesLeaveNoThreadNorHandleBehind) {
  LoopbackServer server(kAddress, Script().send(rssAnswer("Cycle")));
  ASSERT_TRUE(server.ok()) << server.error();
  {
    // Whatever the system starts for a first load and a first download.
    PluginLibrary lib(dir_.path());
    const int id = meter(lib);
    lib->GetTitle(id);
    lib->dllshutdown(id);
  }
  const std::size_t threadsBefore = threadCount();
  const DWORD handlesBefore = handleCount();
  std::string path;
  for (int cycle = 0; cycle < 100; ++cycle) {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    path = lib.path();
    const int id = meter(lib);
    lib->GetTitle(id);
    if (cycle % 2 == 0) lib->dllshutdown(id);  // and every other time none
  }
  // Without dllshutdown, the last worker unloads the library as it ends;
  // its thread ends just after, in the system's code.
  EXPECT_TRUE(waitUntilUnloaded(path));
  bool ended = false;
  for (auto until = SteadyClock::now() + kHangGuard; !ended && SteadyClock::now() < until;) {
    ended = threadCount() == threadsBefore;
    if (!ended) Sleep(5);  // a look at the thread list, not a guess
  }
  EXPECT_TRUE(ended) << threadCount() << " threads, " << threadsBefore << " before";
  EXPECT_EQ(handleCount(), handlesBefore);
}

}  // namespace
}  // namespace korvo
