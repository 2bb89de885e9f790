// The options dialog of korvo.dll in a real window: korvo-host.exe
// --configure opens it, this program finds it and works its controls with
// the messages a user's clicks and typing would send, and the two INI files
// show the result. Needs an X display (run_dialog_test.sh starts an Xvfb)
// and KORVO_DIALOG_SYNC, a directory in which the script is told when the
// filled-in dialog can be photographed ("ready") and says when it has been
// ("shot").
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "dialog/dialog_template.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

using namespace korvo::dialog;
using std::chrono::milliseconds;

// Waits until the dialog is ready for input. Its window can be found from
// the moment it is created, before its controls exist and before
// WM_INITDIALOG has filled them in; messages sent then find no control or
// reach a dialog that ignores them. DialogBoxParamA shows the window only
// after WM_INITDIALOG has returned, so a visible window is a ready one.
HWND waitForDialog(std::chrono::seconds limit) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < giveUp) {
    HWND w = FindWindowA(nullptr, kOptionsDialog.caption);
    if (w != nullptr && IsWindowVisible(w)) return w;
    std::this_thread::sleep_for(milliseconds(100));
  }
  return nullptr;
}

void click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Chooses an entry of a drop-down list as the user does: the selection
// changes and the dialog is told so.
void choose(HWND dialog, int list, int index) {
  SendMessageA(GetDlgItem(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

// The text of a drop-down list's selected entry, asked with WM_GETTEXT:
// CB_GETLBTEXT carries no buffer size, so Wine cannot copy its answer
// between processes, and GetWindowTextA sends no message to a window of
// another process.
std::string selectedText(HWND dialog, int list) {
  char text[256] = {};
  SendMessageA(GetDlgItem(dialog, list), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// The text of a control, asked with WM_GETTEXT for the same reason.
std::string windowText(HWND dialog, int id) {
  char text[256] = {};
  SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// Tells the script the dialog is ready for its photograph and waits until
// it has been taken (or the script is not there).
void photograph(const std::string& sync) {
  if (sync.empty()) return;
  writeWholeFile(sync + "\\ready", "ready\n");
  for (int i = 0; i < 300 && !std::filesystem::exists(sync + "\\shot"); ++i)
    std::this_thread::sleep_for(milliseconds(100));
}

TEST(WindowsDialogTest, AddsASiteAndSavesThroughKorvoHost) {
  const char* syncDir = std::getenv("KORVO_DIALOG_SYNC");
  if (std::getenv("DISPLAY") == nullptr && syncDir == nullptr)
    GTEST_SKIP() << "needs an X display: run it through run_dialog_test.sh";
  TempDir dir;
  std::filesystem::copy_file(KORVO_HOST_PATH, dir.file("korvo-host.exe"));
  std::filesystem::copy_file(KORVO_PLUGIN_PATH, dir.file("korvo.dll"));
  writeWholeFile(dir.file("Korvo.ini"), "[Settings]\nShowError=no\nDoLog=no\n");
  writeWholeFile(dir.file("host.ini"), "[Headline]\nFunction=GetItemTitle\nParam=0\nToolTip=5\n");

  ProgramRun run;
  run.args = {dir.file("korvo-host.exe"), "--configure", "Headline", "host.ini"};
  run.workDir = dir.path();
  run.timeoutSeconds = 120;
  auto host = std::async(std::launch::async, [run] { return runProgram(run); });

  HWND dialog = waitForDialog(std::chrono::seconds(60));
  ASSERT_NE(dialog, nullptr) << "the dialog never opened";
  // A message to a missing control is lost without a word: say so at once.
  for (const ControlTemplate& control : kControls) {
    if (control.id != kNoId) {
      ASSERT_NE(GetDlgItem(dialog, control.id), nullptr) << "no control " << control.id;
    }
  }
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kSiteList), CB_GETCOUNT, 0, 0), 0) << "no sites yet";
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kTooltipItem))) << "ToolTip 5 needs an item";

  // A refused site: the status line says why, the list stays empty.
  EXPECT_EQ(windowText(dialog, kAddStatus), "") << "the status line starts blank";
  SetDlgItemTextA(dialog, kSiteName, "Harbour news");
  SetDlgItemTextA(dialog, kSiteUrl, "ftp://127.0.0.2/harbour.xml");
  click(dialog, kAddSite);
  EXPECT_EQ(windowText(dialog, kAddStatus),
            "Not added: the address must look like http://example.org/news.xml.");
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kSiteList), CB_GETCOUNT, 0, 0), 0);

  SetDlgItemTextA(dialog, kSiteUrl, "http://127.0.0.2/harbour.xml");
  click(dialog, kAddSite);
  EXPECT_EQ(windowText(dialog, kAddStatus), "") << "an added site clears it";
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kSiteList), CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, kSiteList), CB_GETCURSEL, 0, 0), 0)
      << "the only site is selected";
  EXPECT_EQ(selectedText(dialog, kSiteList), "Harbour news");
  char box[256] = {};
  GetDlgItemTextA(dialog, kSiteName, box, sizeof box);
  EXPECT_STREQ(box, "") << "the boxes are emptied";

  choose(dialog, kTooltipList, 1);  // "title"
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kTooltipItem)));
  SetDlgItemTextA(dialog, kInterval, "  300 seconds");
  CheckDlgButton(dialog, kFilterHtml, BST_UNCHECKED);

  // How the meter shows its items.
  EXPECT_EQ(selectedText(dialog, kDateFormatList), "as written");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kDatePattern)));
  choose(dialog, kDateFormatList, kPatternChoice);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kDatePattern)));
  SetDlgItemTextA(dialog, kDatePattern, "%d %b %H:%M");
  // A line break pasted into a box may not break the host's file.
  SetDlgItemTextA(dialog, kInclude, "storm\r\nflood warning");
  SetDlgItemTextA(dialog, kExclude, "sport");
  EXPECT_EQ(selectedText(dialog, kOrderList), "feed order");
  choose(dialog, kOrderList, 1);
  EXPECT_EQ(windowText(dialog, kMaxAge), "0");
  SetDlgItemTextA(dialog, kMaxAge, "48");
  SetDlgItemTextA(dialog, kMarkNew, "NEW:");
  photograph(syncDir ? syncDir : "");
  click(dialog, kSave);

  const ProgramResult r = host.get();
  ASSERT_FALSE(r.timedOut);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("configured [Headline]"), std::string::npos) << r.out;
  EXPECT_EQ(readWholeFile(dir.file("Korvo.ini")),
            "[Settings]\nShowError=no\nDoLog=no\n[NewsSites]\n"
            "Harbour news=http://127.0.0.2/harbour.xml\n");
  const std::string hostIni = readWholeFile(dir.file("host.ini"));
  for (const char* line : {"NewsSite=Harbour news\n", "UpdateIntervall=300\n", "ToolTip=1\n",
                           "FilterHtml=no\n", "FilterUnicode=yes\n", "ReplaceBr=yes\n",
                           "DateFormat=%d %b %H:%M\n", "Include=storm flood warning\n",
                           "Exclude=sport\n", "Order=newest\n", "MaxAge=48\n",
                           "MarkNew=NEW:\n"})
    EXPECT_NE(hostIni.find(line), std::string::npos) << line << " missing from\n" << hostIni;
}

}  // namespace
}  // namespace korvo::test
