// A click hands the link to ShellExecuteA with "open". The stand-in browser
// registered for http links records what it was given; non-web links never
// reach the shell.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

constexpr const char* kCommandKey = "http\\shell\\open\\command";

// Points the "open" command of http links at the stand-in for as long as
// the object lives, then puts the old command back.
class StandInBrowser {
 public:
  StandInBrowser() {
    char old[4096] = {};
    LONG size = sizeof old;
    hadOld_ = RegQueryValueA(HKEY_CLASSES_ROOT, kCommandKey, old, &size) == ERROR_SUCCESS;
    if (hadOld_) old_ = old;
    const std::string command = std::string("\"") + KORVO_RECORD_LINK_PATH + "\" \"%1\"";
    ok_ = RegSetValueA(HKEY_CLASSES_ROOT, kCommandKey, REG_SZ, command.c_str(),
                       static_cast<DWORD>(command.size())) == ERROR_SUCCESS;
  }
  ~StandInBrowser() {
    if (hadOld_)
      RegSetValueA(HKEY_CLASSES_ROOT, kCommandKey, REG_SZ, old_.c_str(),
                   static_cast<DWORD>(old_.size()));
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  bool hadOld_ = false;
  std::string old_;
};

std::string waitForLine(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::string text = readWholeFile(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return readWholeFile(path);
}

std::string rss(const std::string& items) {
  return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>T</title>"
         "<link>http://news.test/</link>" +
         items + "</channel></rss>\n";
}

TEST(WindowsClickTest, HandsOnlyWebLinksToShellExecute) {
  KORVO_SKIP_WITHOUT_PORT_80();
  StandInBrowser browser;
  ASSERT_TRUE(browser.ok()) << "cannot register the stand-in browser";
  TempDir dir;
  const std::string record = dir.file("opened.txt");
  ASSERT_EQ(setenv("KORVO_LINK_RECORD", record.c_str(), 1), 0);

  const std::string address = caseAddress();
  writeWholeFile(dir.file("Korvo.ini"),
                 "[Settings]\nWaitForDownload=-1\nShowError=yes\nDoLog=yes\n[NewsSites]\nNews=http://" + address +
                     "/news.xml\nDead=http://127.0.3.21/news.xml\n");
  writeWholeFile(dir.file("host.ini"),
                 "[File]\nNewsSite=News\nInputClick=2\nInputClickItem=0\n"
                 "[Error]\nNewsSite=Dead\nInputClick=1\n"
                 "[NoSite]\nInputClick=1\n"
                 "[Web]\nNewsSite=News\nInputClick=2\nInputClickItem=1\n");
  LoopbackServer server(
      address,
      Script().send(httpAnswer(
          "HTTP/1.0 200 OK", {},
          rss("<item><title>a</title><link>file:///C:/windows/win.ini</link></item>"
              "<item><title>b</title><link>http://news.test/b?x=1&amp;y=2</link></item>"))));
  ASSERT_TRUE(server.ok()) << server.error();
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  const std::string hostIni = dir.file("host.ini");
  for (const char* section : {"File", "Error", "NoSite", "Web"}) {
    const int id = lib->dllstartup(0, 0);
    lib->src_load_settings(id, hostIni.c_str(), section);
    EXPECT_EQ(lib->action(0, 5001, id, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  }
  EXPECT_EQ(waitForLine(record), "1|http://news.test/b?x=1&y=2\n");
  // Each click's outcome is in the log (whatever its line ends).
  const std::string log = readWholeFile(dir.file("Korvolog.txt"));
  for (const char* line : {" --> Click: nothing opened: link refused: file:///C:/windows/win.ini",
                           " --> Click: nothing opened: no link",
                           " --> Click: nothing opened: the meter has no news site",
                           " --> Click: opened http://news.test/b?x=1&y=2"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "not in\n" << log;
}

}  // namespace
}  // namespace korvo::test
