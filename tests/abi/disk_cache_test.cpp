// The copy on disk through the built plug-in: a start shows what the last
// run downloaded, before and without the network, and asks the server with
// the stored validators; damaged or foreign files are ignored; DiskCache=no
// writes nothing; two processes that store at once lose nothing. Every wait is for an event (a request received, a gate, a
// text shown), bounded by a guard against a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/case_address.h"
#ifndef _WIN32
#include <unistd.h>

#include "support/child_process.h"
#endif
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
namespace fs = std::filesystem;

// Only a hang guard: every wait below ends on an event long before, even
// with the library under a sanitizer on a loaded machine.
constexpr Ms kHangGuard{20000};

std::string rssAnswer(const std::string& title, const std::string& etag) {
  return test::httpAnswer("HTTP/1.0 200 OK",
                          {"Content-Type: text/xml; charset=utf-8", "ETag: " + etag},
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
                              "</title><item><title>" + title + " item</title></item></channel></rss>");
}

class DiskCacheAbiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KORVO_SKIP_WITHOUT_PORT_80();
    test::writeWholeFile(dir_.file("host.ini"), "[A]\nNewsSite=News\n");
  }
  void writeSettings(const std::string& settings, const std::string& path = "/feed.xml") {
    const std::string wait =
        settings.find("WaitForDownload") == std::string::npos ? "WaitForDownload=0\n" : "";
    test::writeWholeFile(dir_.file("Korvo.ini"), "[Settings]\n" + wait + settings +
                                                     "[NewsSites]\nNews=http://" + kAddress + path +
                                                     "\n");
  }
  int meter(PluginLibrary& lib) {
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir_.file("host.ini").c_str(), "A");
    return id;
  }
  // The meter's title once it is not empty (empty after the guard).
  static std::string titleOnceShown(PluginLibrary& lib, int id) { return titleOnce(lib, id, ""); }
  // The meter's title once it is neither empty nor skip.
  static std::string titleOnce(PluginLibrary& lib, int id, const std::string& skip) {
    std::string title = lib->GetTitle(id);
    for (auto until = SteadyClock::now() + kHangGuard;
         (title.empty() || title == skip) && SteadyClock::now() < until;)
      title = lib->GetTitle(id);
    return title;
  }
  std::string cacheFolder() const { return dir_.file("KorvoCache"); }
  std::vector<std::string> cacheFiles() const {
    std::vector<std::string> files;
    if (!fs::exists(cacheFolder())) return files;
    for (const auto& entry : fs::directory_iterator(cacheFolder()))
      files.push_back(entry.path().string());
    return files;
  }
  // One run that downloads title with etag and ends: its copy is on disk.
  // previous: the title a stored copy may show first.
  void runOnce(const std::string& title, const std::string& etag,
               const std::string& previous = "") {
    LoopbackServer server(kAddress, Script().send(rssAnswer(title, etag)));
    ASSERT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    // The title shows once the download is applied, and a worker stores
    // its copy before it hands the download over.
    ASSERT_EQ(titleOnce(lib, id, previous), title);
    lib->dllshutdown(id);
  }

  // Each case listens on an address of its own: CTest runs cases at once.
  const std::string kAddress = test::caseAddress();
  test::TempDir dir_;
};

TEST_F(DiskCacheAbiTest, ARestartShowsTheStoredItemsAndRevalidatesThem) {
  writeSettings("");
  runOnce("Old", "\"v1\"");
  ASSERT_EQ(cacheFiles().size(), 1u) << "one file per URL";

  {  // The server is down: the stored items, not an error.
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    EXPECT_EQ(titleOnceShown(lib, id), "Old");
    EXPECT_EQ(std::string(lib->GetItemTitle(id, "0")), "Old item");
    lib->dllshutdown(id);
  }
  {  // The server holds its answer: the stored items show first; the
     // request carries the stored ETag and "not modified" keeps them.
    auto gate = std::make_shared<Gate>();
    LoopbackServer server(kAddress, Script().waitFor(gate).send("HTTP/1.0 304 Not Modified\r\n\r\n"));
    ASSERT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    EXPECT_EQ(titleOnceShown(lib, id), "Old");
    ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
    EXPECT_NE(server.requests().at(0).find("\r\nIf-None-Match: \"v1\"\r\n"), std::string::npos)
        << server.requests().at(0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::string(lib->GetTitle(id)), "Old");
    gate->open();
    ASSERT_TRUE(server.waitForFinished(1, kHangGuard));
    EXPECT_EQ(std::string(lib->GetTitle(id)), "Old");
    EXPECT_EQ(server.connections(), 1u) << "the stored copy shown starts no second download";
    lib->dllshutdown(id);
  }
  runOnce("New", "\"v2\"", "Old");
  {  // The newer download replaced the copy.
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    EXPECT_EQ(titleOnceShown(lib, id), "New");
    lib->dllshutdown(id);
  }
  EXPECT_EQ(cacheFiles().size(), 1u);
}

// A JSON Feed known only by its Content-Type, which the copy on disk does
// not keep: the stored body is read as JSON again all the same.
TEST_F(DiskCacheAbiTest, AStoredJsonFeedIsReadAsJsonAgain) {
  writeSettings("");
  {
    LoopbackServer server(
        kAddress, Script().send(test::httpAnswer(
                      "HTTP/1.0 200 OK", {"Content-Type: application/feed+json", "ETag: \"j\""},
                      "{\"title\": \"Json\", \"items\": [{\"title\": \"Json item\"}]}")));
    ASSERT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    ASSERT_EQ(titleOnceShown(lib, id), "Json");
    lib->dllshutdown(id);
  }
  ASSERT_EQ(cacheFiles().size(), 1u);
  PluginLibrary lib(dir_.path());  // the server is down
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const int id = meter(lib);
  EXPECT_EQ(titleOnceShown(lib, id), "Json");
  EXPECT_EQ(std::string(lib->GetItemTitle(id, "0")), "Json item");
  lib->dllshutdown(id);
}

TEST_F(DiskCacheAbiTest, DamagedAndForeignFilesAreIgnored) {
  writeSettings("", "/other.xml");
  runOnce("Other", "\"o\"");
  ASSERT_EQ(cacheFiles().size(), 1u);
  const std::string otherFile = cacheFiles().at(0);
  const std::string otherBytes = test::readWholeFile(otherFile);
  fs::remove(otherFile);
  writeSettings("");
  runOnce("Old", "\"v1\"");
  ASSERT_EQ(cacheFiles().size(), 1u);
  const std::string file = cacheFiles().at(0);
  const std::string bytes = test::readWholeFile(file);

  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"truncated", bytes.substr(0, bytes.size() - 10)},
      {"garbage", std::string(bytes.size(), '\x5a')},
      {"another URL's copy", otherBytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeWholeFile(file, c.content);
    auto gate = std::make_shared<Gate>();
    LoopbackServer server(kAddress, Script().waitFor(gate).send(rssAnswer("Fresh", "\"f\"")));
    ASSERT_TRUE(server.ok()) << server.error();
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = meter(lib);
    lib->GetTitle(id);
    // A stored copy is read and handed over before the request is sent.
    ASSERT_TRUE(server.waitForRequests(1, kHangGuard));
    EXPECT_EQ(std::string(lib->GetTitle(id)), "") << "nothing shown from the file";
    EXPECT_EQ(server.requests().at(0).find("If-None-Match"), std::string::npos)
        << "an ordinary request";
    gate->open();
    EXPECT_EQ(titleOnceShown(lib, id), "Fresh");
    lib->dllshutdown(id);
  }
}

#ifndef _WIN32
// Two processes with the plug-in loaded from one folder download and store
// at the same time, feeds of their own and feeds both show: afterwards
// every copy is on disk, whole, and a third start shows each feed without
// the network.
TEST_F(DiskCacheAbiTest, TwoProcessesOnOneFolderLoseNothing) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer cannot start threads in a child forked from a threaded "
                  "process";
#endif
  constexpr int kFeeds = 8;  // the first process shows feeds 0-4, the second 3-7
  std::vector<std::string> addresses;
  std::string sites, host;
  for (int i = 0; i < kFeeds; ++i) {
    const std::string n = std::to_string(i);
    addresses.push_back(test::caseAddress(i));
    sites += "Feed" + n + "=http://" + addresses.back() + "/feed.xml\n";
    host += "[M" + n + "]\nNewsSite=Feed" + n + "\n";
  }
  test::writeWholeFile(dir_.file("Korvo.ini"),
                       "[Settings]\nWaitForDownload=0\n[NewsSites]\n" + sites);
  test::writeWholeFile(dir_.file("host.ini"), host);
  // The library file is in place before either process loads it.
  fs::copy_file(KORVO_PLUGIN_PATH, dir_.file(fs::path(KORVO_PLUGIN_PATH).filename().string()));

  // Both processes are forked while this one has no other thread (so none
  // inherits a lock held elsewhere), then wait until the servers listen:
  // the gate is a pipe whose end of file opens it.
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  // Shows feeds first..last until each has its title, then writes "ok" or
  // what failed.
  auto process = [&](int first, int last) {
    return [&, first, last](int reportFd) {
      ::close(gate[1]);
      char c;
      while (::read(gate[0], &c, 1) > 0) {
      }
      std::string report = "ok";
      {
        PluginLibrary lib(dir_.path());
        if (!lib.loaded()) {
          report = lib.error();
        } else {
          std::vector<int> ids;
          for (int i = first; i <= last; ++i) {
            ids.push_back(lib->dllstartup(0, 0));
            lib->src_load_settings(ids.back(), dir_.file("host.ini").c_str(),
                                   ("M" + std::to_string(i)).c_str());
          }
          for (int i = first; i <= last; ++i) {
            const std::string title =
                titleOnceShown(lib, ids[static_cast<std::size_t>(i - first)]);
            if (title != "Feed " + std::to_string(i))
              report = "feed " + std::to_string(i) + ": \"" + title + "\"";
          }
          for (int id : ids) lib->dllshutdown(id);
        }
      }
      (void)!::write(reportFd, report.data(), report.size());
    };
  };
  test::Child one(process(0, 4));
  test::Child two(process(3, 7));
  ::close(gate[0]);
  {
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    for (int i = 0; i < kFeeds; ++i) {
      const std::string n = std::to_string(i);
      servers.push_back(std::make_unique<LoopbackServer>(
          addresses[static_cast<std::size_t>(i)],
          Script().send(rssAnswer("Feed " + n, "\"" + n + "\""))));
      EXPECT_TRUE(servers.back()->ok()) << servers.back()->error();
    }
    ::close(gate[1]);
    ASSERT_TRUE(one.started() && two.started());
    constexpr int kProcessGuardMs = 60000;  // a hang guard: each ends long before
    EXPECT_EQ(one.readToEnd(kProcessGuardMs), "ok");
    EXPECT_EQ(two.readToEnd(kProcessGuardMs), "ok");
  }

  EXPECT_EQ(cacheFiles().size(), static_cast<std::size_t>(kFeeds))
      << "one file per URL, no temporary file left";
  PluginLibrary lib(dir_.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  for (int i = 0; i < kFeeds; ++i) {
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, dir_.file("host.ini").c_str(), ("M" + std::to_string(i)).c_str());
    EXPECT_EQ(titleOnceShown(lib, id), "Feed " + std::to_string(i)) << "from the disk";
    lib->dllshutdown(id);
  }
}
#endif  // the processes are forked

TEST_F(DiskCacheAbiTest, DiskCacheNoOrDownloadsOnTheHostThreadWriteNothing) {
  const struct {
    const char* settings;
    bool stores;
  } cases[] = {
      {"DiskCache=no\n", false},
      {"DiskCache=off\n", false},
      {"DiskCache=yes\n", true},
      {"DiskCache=yes\nWaitForDownload=-1\n", false},  // downloads on the host's thread
      {"", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    fs::remove_all(cacheFolder());
    writeSettings(c.settings);
    runOnce("Old", "\"v1\"");
    EXPECT_EQ(fs::exists(cacheFolder()), c.stores);
    EXPECT_EQ(test::readWholeFile(dir_.file("Korvo.ini")).find("DiskCache") != std::string::npos,
              std::string(c.settings).find("DiskCache") != std::string::npos)
        << "the key is never written";
  }
}

}  // namespace
}  // namespace korvo
