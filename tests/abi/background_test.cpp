// Downloads off the host's thread, through the built plug-in: a query never
// waits past its budget on a server that does not answer, shut-down and
// unload end a stuck download, and no worker thread outlives the library.
// Bounds on call times here only guard against a hang; the figures are
// measured in bench/.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

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
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr Ms kHangGuard{5000};

std::size_t entriesIn(const char* directory) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++n;
  return n;
}
std::size_t threadCount() { return entriesIn("/proc/self/task"); }
std::size_t openFileCount() { return entriesIn("/proc/self/fd"); }

// address ("127.1.2.3") as /proc/net/tcp writes it ("0302017F").
std::string procTcpAddress(const std::string& address) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", d, c, b, a);
  return hex;
}

// True once this process has a TCP connect to address:80 under way (SYN
// sent, no answer yet).
bool connectPending(const std::string& address) {
  const std::string hex = procTcpAddress(address);
  std::ifstream table("/proc/self/net/tcp");
  std::string line;
  while (std::getline(table, line))
    if (line.find(" " + hex + ":0050 02 ") != std::string::npos) return true;
  return false;
}

std::string rssAnswer(const std::string& title) {
  return test::httpAnswer("HTTP/1.0 200 OK", {"Content-Type: text/xml"},
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
                              "</title></channel></rss>");
}

class BackgroundAbiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=News\n");
  }
  void writeSettings(const std::string& settings) {
    test::writeWholeFile(
        dir_.file("Korvo.ini"),
        "[Settings]\n" + settings + "[NewsSites]\nNews=http://" + kAddress + "/feed.xml\n");
  }
  int meter(PluginLibrary& lib) {
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir_.file("host.ini").c_str(), "A");
    return id;
  }
  std::string log() const { return test::readWholeFile(dir_.file("Korvolog.txt")); }

  // The server of this case listens on an address of its own.
  const std::string kAddress = test::caseAddress();
  test::TempDir dir_;
};

TEST_F(BackgroundAbiTest, QueriesReturnWhileTheServerHoldsItsAnswerAndShutDownEndsTheDownload) {
  writeSettings("DoLog=yes\n");  // the default budget
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(kAddress, Script().waitFor(gate).send(rssAnswer("Held")));
  ASSERT_TRUE(server.ok()) << server.error();
  const std::size_t threadsBefore = threadCount();
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    for (int i = 0; i < 3; ++i) {
      const auto start = SteadyClock::now();
      EXPECT_EQ(std::string(lib->GetTitle(id)), "");
      EXPECT_LT(SteadyClock::now() - start, kHangGuard);
    }
    ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
    const auto start = SteadyClock::now();
    EXPECT_EQ(lib->dllshutdown(id), 0);
    EXPECT_LT(SteadyClock::now() - start, kHangGuard);
    EXPECT_EQ(threadCount(), threadsBefore) << "the last dllshutdown ends the workers";
  }
  EXPECT_EQ(server.connections(), 1u) << "one download per URL";
  EXPECT_NE(log().find("Downloading rss: http://" + kAddress + "/feed.xml\n"), std::string::npos)
      << "a worker's line, whole:\n"
      << log();
  EXPECT_NE(log().find("Error: Download cancelled. (http://" + kAddress + "/feed.xml)\n"),
            std::string::npos)
      << log();
}

// Nothing to show and no error yet: with ShowError on, a meter says its
// first download is under way, in the code page the plug-in writes; with
// it off the meter stays blank. The feed's text replaces it once it came,
// and a click meanwhile opens nothing.
TEST_F(BackgroundAbiTest, WhileTheFirstDownloadRunsAMeterSaysItIsLoading) {
  struct Case {
    const char* settings;
    const char* shown;
  } cases[] = {
      {"ShowError=no\nCodePage=utf-8\n", ""},
      {"ShowError=yes\nCodePage=utf-8\n", "Loading news\xE2\x80\xA6"},
      {"ShowError=yes\nCodePage=1252\n", "Loading news\x85"},
      {"ShowError=yes\nCodePage=latin1\n", "Loading news..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    writeSettings(std::string("WaitForDownload=0\nDoLog=yes\nDiskCache=no\n") + c.settings);
    test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=News\nInputClick=1\n");
    auto gate = std::make_shared<Gate>();
    LoopbackServer server(kAddress, Script().waitFor(gate).send(rssAnswer("Held")));
    ASSERT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    EXPECT_EQ(std::string(lib->GetTitle(id)), c.shown);
    ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
    EXPECT_EQ(std::string(lib->GetTitle(id)), c.shown);
    EXPECT_EQ(lib->action(0, 5001, id, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_NE(log().find("Click: nothing opened: no link\n"), std::string::npos) << log();
    gate->open();
    std::string title;
    for (const auto start = SteadyClock::now();
         title != "Held" && SteadyClock::now() - start < kHangGuard;)
      title = lib->GetTitle(id);
    EXPECT_EQ(title, "Held");
    EXPECT_EQ(lib->dllshutdown(id), 0);
    lib.unload();
    std::filesystem::remove(dir_.file("Korvolog.txt"));
  }
}

TEST_F(BackgroundAbiTest, UnloadWithoutShutDownEndsAStuckDownload) {
  writeSettings("WaitForDownload=0\n");
  LoopbackServer server(kAddress, Script().stall());
  ASSERT_TRUE(server.ok()) << server.error();
  const std::size_t threadsBefore = threadCount();
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  EXPECT_EQ(std::string(lib->GetTitle(id)), "");
  ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
  const auto start = SteadyClock::now();
  lib.unload();
  EXPECT_LT(SteadyClock::now() - start, kHangGuard);
  EXPECT_FALSE(test::isMapped(lib.path())) << "nothing kept the library loaded";
  EXPECT_EQ(threadCount(), threadsBefore);
}

TEST_F(BackgroundAbiTest, ShutDownAndUnloadCancelAConnectThatGetsNoAnswer) {
  // A connect that gets no answer would last its whole time-out (12 s).
  LoopbackServer server = LoopbackServer::unanswered(kAddress);
  ASSERT_TRUE(server.ok()) << server.error();
  std::thread([] {}).join();  // a sanitizer's own thread starts with a program's first
  for (const bool shutDownFirst : {true, false}) {
    SCOPED_TRACE(shutDownFirst ? "dllshutdown, then unload" : "unload alone");
    test::TempDir dir;
    test::writeWholeFile(dir.file("host.ini"), "[A]\nNewsSite=News\n");
    test::writeWholeFile(dir.file("Korvo.ini"),
                         "[Settings]\nDoLog=yes\nWaitForDownload=0\n"
                         "[NewsSites]\nNews=http://" +
                             kAddress + "/feed.xml\n");
    const std::size_t threadsBefore = threadCount();
    PluginLibrary lib(dir.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir.file("host.ini").c_str(), "A");
    EXPECT_EQ(std::string(lib->GetTitle(id)), "");
    bool pending = false;
    for (auto until = SteadyClock::now() + kHangGuard; !pending && SteadyClock::now() < until;) {
      pending = connectPending(kAddress);
      if (!pending)
        std::this_thread::sleep_for(Ms(5));  // a look at the kernel's table, not a guess
    }
    ASSERT_TRUE(pending) << "the worker is inside its connect";

    const auto start = SteadyClock::now();
    if (shutDownFirst) {
      EXPECT_EQ(lib->dllshutdown(id), 0);
    }
    lib.unload();
    EXPECT_LT(SteadyClock::now() - start, kHangGuard);
    EXPECT_FALSE(test::isMapped(lib.path()));
    EXPECT_EQ(threadCount(), threadsBefore);
    const std::string text = test::readWholeFile(dir.file("Korvolog.txt"));
    EXPECT_NE(text.find("Error: Download cancelled. (http://" + kAddress + "/feed.xml)\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("could not be stopped"), std::string::npos) << text;
  }
}

TEST_F(BackgroundAbiTest, AFailureOnAWorkerShowsItsErrorTextWithShowError) {
  writeSettings("ShowError=yes\nWaitForDownload=1000\n");
  LoopbackServer server(kAddress, Script().send("HTTP/1.0 500 Broken\r\n\r\n"));
  ASSERT_TRUE(server.ok()) << server.error();
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  // Within the budget the call shows what the download ended with; past it,
  // a later query does.
  std::string title = lib->GetTitle(id);
  for (auto until = SteadyClock::now() + kHangGuard; title.empty() && SteadyClock::now() < until;)
    title = lib->GetTitle(id);
  EXPECT_NE(title, "");
  EXPECT_EQ(std::string(lib->GetDescription(id)), title) << "the feed's error text";
  lib->dllshutdown(id);
}

// The last dllshutdown while a worker parses a large feed: the parse ends
// on its own in bounded time, so the shut-down waits for it (outside the
// loader lock); nothing keeps the library loaded past the unload, the
// settings are written, and the next load starts afresh.
TEST_F(BackgroundAbiTest, ShutDownDuringAParseLeavesNothingLoadedAndTheNextLoadStartsAfresh) {
  writeSettings("DoLog=yes\nWaitForDownload=0\nDiskCache=no\n");
  LoopbackServer server(kAddress, {Script().send(test::httpAnswer("HTTP/1.0 200 OK",
                                                                  {"Content-Type: text/xml"},
                                                                  test::largeFeed())),
                                   Script().send(rssAnswer("Added"))});
  ASSERT_TRUE(server.ok()) << server.error();
  std::string path;
  {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    path = lib.path();
    const int id = meter(lib);
    EXPECT_EQ(std::string(lib->GetTitle(id)), "");
    // The worker closes the connection once the whole answer is in, and
    // parses it next.
    ASSERT_TRUE(server.waitForFinished(1, kHangGuard)) << "the download has ended";
    EXPECT_EQ(lib->dllshutdown(id), 0);
    EXPECT_NE(log().find("Shut-down: waiting for 1 download(s) busy parsing\n"), std::string::npos)
        << "the parse was still running:\n"
        << log();
    EXPECT_EQ(log().find("could not be stopped"), std::string::npos) << log();
    // Meanwhile the user adds a site and asks for downloads on the host's thread.
    test::writeWholeFile(dir_.file("Korvo.ini"),
                         "[Settings]\nDoLog=yes\nWaitForDownload=-1\n[NewsSites]\nNews=http://" +
                             kAddress + "/feed.xml\nAdded=http://" + kAddress + "/added.xml\n");
  }
  EXPECT_FALSE(test::isMapped(path)) << "nothing pins the library";
  EXPECT_NE(test::readWholeFile(dir_.file("Korvo.ini")).find("ShowError=no"), std::string::npos)
      << "the switches are written at unload";

  test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=Added\n");
  PluginLibrary again(dir_.path());
  ASSERT_TRUE(again.loaded()) << again.error();
  const int id = meter(again);
  EXPECT_EQ(std::string(again->GetTitle(id)), "Added") << "the settings were read again";
  again->dllshutdown(id);
  std::size_t starts = 0;
  const std::string text = log();
  for (std::size_t at = text.find("DLLMain()\n"); at != std::string::npos;
       at = text.find("DLLMain()\n", at + 1))
    ++starts;
  EXPECT_EQ(starts, 2u) << "each load started once:\n" << text;
}

TEST_F(BackgroundAbiTest, LoadUseAndUnloadLeaveNoThreadNorOpenFileBehind) {
  writeSettings("DoLog=yes\nWaitForDownload=0\n");
  LoopbackServer server(kAddress, Script().send(rssAnswer("Cycle")));
  ASSERT_TRUE(server.ok()) << server.error();
  const std::size_t threadsBefore = threadCount();
  const std::size_t filesBefore = openFileCount();
  for (int cycle = 0; cycle < 100; ++cycle) {
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    lib->GetTitle(id);
    if (cycle % 2 == 0) lib->dllshutdown(id);  // and every other time none
  }
  EXPECT_EQ(threadCount(), threadsBefore);
  EXPECT_EQ(openFileCount(), filesBefore) << "sockets, the log and the disk copy all closed";
}

}  // namespace
}  // namespace korvo
