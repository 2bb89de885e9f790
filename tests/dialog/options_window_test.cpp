// The options dialog in a real window, on an X server of the test's own:
// opened through korvo-host --configure (as the desktop host opens it) or
// through the loaded plug-in, driven with the mouse and the keyboard by
// xdotool, and judged by the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <sstream>
#include <thread>

#include "dialog/dialog_template.h"
#include "dialog/layout_rules.h"
#include "dialog/window_probe.h"
#include "dialog/xvfb_server.h"
#include "support/child_process.h"
#include "support/plugin_library.h"
#include "support/prerequisite.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

// Fontconfig, which draws the window's texts through Xft, keeps its caches
// to the end of the process; they are not ours to free.
constexpr const char* kToolkitLeaks = "leak:libfontconfig.so\n";

extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return kToolkitLeaks;
}

namespace korvo::test {
namespace {

using namespace dialog;

constexpr const char* kTitle = "^Meter specific options$";
// Nothing listens on port 80 there: the downloads korvo-host starts after
// the dialog fail at once, on this machine.
constexpr const char* kAlphaUrl = "http://127.0.0.254/alpha.xml";
constexpr const char* kBetaUrl = "http://127.0.0.254/beta.xml";
// A closed drop-down list, as the window draws it.
constexpr int kDropDownFieldHeight = 21;

class OptionsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xdotool_ = findProgram("xdotool");
    if (xdotool_.empty()) KORVO_SKIP_FOR_PREREQUISITE() << "needs xdotool (Debian package xdotool)";
    // Room for the whole dialog, which is taller than 480 pixels.
    server_ = std::make_unique<XvfbServer>(1024, 768);
    if (!server_->running())
      KORVO_SKIP_FOR_PREREQUISITE() << "needs Xvfb (Debian package xvfb): " << server_->error();
    std::filesystem::copy_file(KORVO_PLUGIN_PATH, dir_.file("libkorvo.so"));
    writeWholeFile(dir_.file("Korvo.ini"), std::string("[NewsSites]\nAlpha=") + kAlphaUrl + "\n");
    writeWholeFile(hostIni(), "[Headline]\nFunction=GetTitle\nNewsSite=Alpha\nUpdateIntervall=600\n");
  }

  std::string hostIni() const { return dir_.file("host.ini"); }

  // korvo-host built with the sanitizers is told the same.
  std::string leakSanitizerOptions() const {
    const std::string file = dir_.file("lsan.supp");
    writeWholeFile(file, kToolkitLeaks);
    const char* options = std::getenv("LSAN_OPTIONS");
    return std::string("LSAN_OPTIONS=") + (options ? std::string(options) + ":" : "") +
           "suppressions=" + file;
  }

  // korvo-host configuring the meter [Headline], running in the background.
  std::future<ProgramResult> startHost() {
    ProgramRun run;
    run.args = {KORVO_HOST_PATH, "--lib", dir_.file("libkorvo.so"), "--configure", "Headline",
                hostIni()};
    run.env = {"DISPLAY=" + server_->display(), leakSanitizerOptions()};
    run.timeoutSeconds = 120;
    return std::async(std::launch::async, runProgram, run);
  }

  ProgramResult xdo(std::vector<std::string> args) {
    ProgramRun run;
    args.insert(args.begin(), xdotool_);
    run.args = std::move(args);
    run.env = {"DISPLAY=" + server_->display()};
    run.timeoutSeconds = 60;
    return runProgram(run);
  }

  // The dialog's window, once it is mapped.
  std::string waitForDialog() {
    ProgramResult r = xdo({"search", "--sync", "--onlyvisible", "--name", kTitle});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out.substr(0, r.out.find('\n'));
  }

  // The top-level windows on the screen.
  std::set<std::string> visibleWindows() {
    std::istringstream lines(xdo({"search", "--onlyvisible", "--maxdepth", "1", "--name", ""}).out);
    std::set<std::string> ids;
    for (std::string line; std::getline(lines, line);) ids.insert(line);
    return ids;
  }

  // Waits, a bounded time, until the screen shows `count` top-level windows.
  bool waitForWindowCount(std::size_t count) {
    for (int i = 0; i < 200; ++i) {
      if (visibleWindows().size() == count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Clicks the middle of a control of the dialog.
  void click(const std::string& window, int id) {
    const ControlTemplate* c = findControl(id);
    ASSERT_NE(c, nullptr);
    int height = dluToPixelsY(c->height);
    if (c->kind == ControlKind::kDropDownList) height = kDropDownFieldHeight;
    const int x = dluToPixelsX(c->x) + dluToPixelsX(c->width) / 2;
    const int y = dluToPixelsY(c->y) + height / 2;
    EXPECT_EQ(xdo({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
                   "1"}).exitCode, 0);
  }

  void typeInto(const std::string& window, int box, const std::string& text) {
    click(window, box);
    xdo({"key", "End"});
    xdo({"key", "BackSpace", "BackSpace", "BackSpace", "BackSpace", "BackSpace"});
    EXPECT_EQ(xdo({"type", "--delay", "5", text}).exitCode, 0);
  }

  // Opens a drop-down list, moves `steps` entries down and takes that one.
  void pickBelow(const std::string& window, int list, int steps) {
    const std::size_t before = visibleWindows().size();
    click(window, list);
    ASSERT_TRUE(waitForWindowCount(before + 1)) << "the list did not drop down";
    std::vector<std::string> keys = {"key"};
    for (int i = 0; i < steps; ++i) keys.push_back("Down");
    keys.push_back("Return");
    xdo(keys);
    ASSERT_TRUE(waitForWindowCount(before)) << "the list did not close";
  }

  // The dialog as the screen shows it, into the build directory.
  void screenshot(const std::string& window, const std::string& name) {
    const std::string import = findProgram("import");
    if (import.empty()) {
      std::cout << "no screenshot: ImageMagick's import is not installed\n";
      return;
    }
    std::string geometry = xdo({"getwindowgeometry", "--shell", window}).out;
    auto value = [&](const std::string& key) {
      std::size_t at = geometry.find(key + "=");
      return at == std::string::npos ? std::string("0")
                                     : geometry.substr(at + key.size() + 1,
                                                       geometry.find('\n', at) - at - key.size() - 1);
    };
    // Gives the window a moment to draw what the last event changed.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string crop = value("WIDTH") + "x" + value("HEIGHT") + "+" + value("X") + "+" + value("Y");
    const std::string file = std::string(KORVO_TEST_ARTIFACT_DIR) + "/" + name;
    ProgramRun run;
    run.args = {import, "-window", "root", "-crop", crop, "+repage", file};
    run.env = {"DISPLAY=" + server_->display()};
    ProgramResult r = runProgram(run);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::cout << "screenshot: " << file << "\n";
  }

  // How many pixels of a control's place on the screen are dark (drawn
  // text); -1 when ImageMagick's import is not there to tell.
  int darkPixels(const std::string& window, int id) {
    const std::string import = findProgram("import");
    const ControlTemplate* c = findControl(id);
    if (import.empty() || c == nullptr) return -1;
    const std::string geometry = xdo({"getwindowgeometry", "--shell", window}).out;
    auto value = [&](const std::string& key) {
      std::size_t at = geometry.find(key + "=");
      return at == std::string::npos ? 0 : std::stoi(geometry.substr(at + key.size() + 1));
    };
    const int w = dluToPixelsX(c->width), h = dluToPixelsY(c->height);
    const std::string crop = std::to_string(w) + "x" + std::to_string(h) + "+" +
                             std::to_string(value("X") + dluToPixelsX(c->x)) + "+" +
                             std::to_string(value("Y") + dluToPixelsY(c->y));
    ProgramRun run;
    run.args = {import, "-window", "root", "-crop", crop, "+repage", "-depth", "8", "ppm:-"};
    run.env = {"DISPLAY=" + server_->display()};
    const ProgramResult r = runProgram(run);
    // "P6", width, height, 255, one blank, then three bytes a pixel.
    std::istringstream in(r.out);
    std::string magic;
    int width = 0, height = 0, top = 0;
    in >> magic >> width >> height >> top;
    in.get();
    if (magic != "P6" || top != 255) return -1;
    int dark = 0;
    for (int i = 0; i < width * height; ++i) {
      unsigned char rgb[3] = {};
      if (!in.read(reinterpret_cast<char*>(rgb), 3)) break;
      dark += rgb[0] < 96 && rgb[1] < 96 && rgb[2] < 96;
    }
    return dark;
  }

  // Asks the window to close, as its close box does.
  void closeWindow(const std::string& window) {
    EXPECT_TRUE(sendCloseRequest(server_->display(), std::stoul(window)));
  }

  static void expectFinished(std::future<ProgramResult>& host) {
    ProgramResult r = host.get();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("configured [Headline]\n"), std::string::npos) << r.out;
  }

  std::string hostSetting(const std::string& key) {
    const std::string text = readWholeFile(hostIni());
    std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "(missing)";
    at += key.size() + 2;
    return text.substr(at, text.find('\n', at) - at);
  }

  TempDir dir_;
  std::string xdotool_;
  std::unique_ptr<XvfbServer> server_;
};

TEST_F(OptionsWindowTest, AddPickAndSaveThroughTheHost) {
  auto host = startHost();
  const std::string window = waitForDialog();
  ASSERT_FALSE(window.empty());
  typeInto(window, kSiteName, "Beta");
  typeInto(window, kSiteUrl, kBetaUrl);
  click(window, kAddSite);
  pickBelow(window, kSiteList, 1);  // Alpha, then Beta
  screenshot(window, "dialog-linux.png");
  click(window, kSave);
  expectFinished(host);
  EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")),
            std::string("[NewsSites]\nAlpha=") + kAlphaUrl + "\nBeta=" + kBetaUrl +
                "\n[Settings]\nShowError=no\nDoLog=no\n");
  EXPECT_EQ(hostSetting("NewsSite"), "Beta");
  EXPECT_EQ(hostSetting("UpdateIntervall"), "600");
  // Keys the meter never used stay out of its section when their controls
  // were left alone.
  for (const char* key : {"DateFormat", "Include", "Exclude", "Order", "MaxAge", "MarkNew"})
    EXPECT_EQ(hostSetting(key), "(missing)") << key;
}

// A refused "Add" says why in the status line under the buttons, which was
// blank before, and in the log; nothing is written and the dialog stays.
TEST_F(OptionsWindowTest, ARefusedAddSaysWhyInTheStatusLine) {
  writeWholeFile(dir_.file("Korvo.ini"),
                 std::string("[Settings]\nDoLog=yes\n[NewsSites]\nAlpha=") + kAlphaUrl + "\n");
  auto host = startHost();
  const std::string window = waitForDialog();
  ASSERT_FALSE(window.empty());
  const int before = darkPixels(window, kAddStatus);
  typeInto(window, kSiteName, "Beta");
  typeInto(window, kSiteUrl, "ftp://127.0.0.254/beta.xml");
  click(window, kAddSite);
  const std::string line =
      " --> Add site: Not added: the address must look like http://example.org/news.xml.\n";
  std::string log;
  for (int i = 0; i < 200 && log.find(line) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    log = readWholeFile(dir_.file("Korvolog.txt"));
  }
  EXPECT_NE(log.find(line), std::string::npos) << log;
  if (before < 0) {
    std::cout << "the status line is not looked at: ImageMagick's import is not installed\n";
  } else {
    EXPECT_EQ(before, 0) << "the status line starts blank";
    int after = 0;
    for (int i = 0; i < 100 && after == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      after = darkPixels(window, kAddStatus);
    }
    EXPECT_GT(after, 20) << "the status line shows no text";
  }
  screenshot(window, "dialog-refusal-linux.png");
  closeWindow(window);
  expectFinished(host);
  EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")),
            std::string("[Settings]\nDoLog=yes\nShowError=no\n[NewsSites]\nAlpha=") + kAlphaUrl +
                "\n");
}

// Escape leaves the dialog open: the edit after it is saved by Enter,
// which presses the default button.
TEST_F(OptionsWindowTest, EscapeKeepsTheDialogAndEnterSaves) {
  auto host = startHost();
  const std::string window = waitForDialog();
  ASSERT_FALSE(window.empty());
  typeInto(window, kInterval, "900");
  xdo({"key", "Escape"});
  pickBelow(window, kTooltipList, 2);  // none, then title, description
  xdo({"key", "Return"});
  expectFinished(host);
  EXPECT_EQ(hostSetting("UpdateIntervall"), "900");
  EXPECT_EQ(hostSetting("ToolTip"), "2");
}

TEST_F(OptionsWindowTest, TheCloseBoxStoresNothing) {
  auto host = startHost();
  const std::string window = waitForDialog();
  ASSERT_FALSE(window.empty());
  typeInto(window, kInterval, "900");
  click(window, kReplaceBr);
  closeWindow(window);
  expectFinished(host);
  EXPECT_EQ(hostSetting("UpdateIntervall"), "600");
  EXPECT_EQ(hostSetting("ReplaceBr"), "yes");
}

// Every control the dialog can store through: the item-view keys land in
// the host's file with the others.
TEST_F(OptionsWindowTest, TheShownItemsControlsAreSavedThroughTheHost) {
  auto host = startHost();
  const std::string window = waitForDialog();
  ASSERT_FALSE(window.empty());
  pickBelow(window, kDateFormatList, kPatternChoice);  // from "as written"
  typeInto(window, kDatePattern, "%d %b %H:%M");
  typeInto(window, kInclude, "storm|flood warning");
  typeInto(window, kExclude, "sport");
  pickBelow(window, kOrderList, 1);  // "newest first"
  typeInto(window, kMaxAge, "48");
  typeInto(window, kMarkNew, "NEW:");
  screenshot(window, "dialog-items-linux.png");
  click(window, kSave);
  expectFinished(host);
  EXPECT_EQ(hostSetting("DateFormat"), "%d %b %H:%M");
  EXPECT_EQ(hostSetting("Include"), "storm|flood warning");
  EXPECT_EQ(hostSetting("Exclude"), "sport");
  EXPECT_EQ(hostSetting("Order"), "newest");
  EXPECT_EQ(hostSetting("MaxAge"), "48");
  EXPECT_EQ(hostSetting("MarkNew"), "NEW:");
  EXPECT_EQ(hostSetting("UpdateIntervall"), "600");
}

// The window as FLTK builds it, one row of numbers a line.
std::vector<std::vector<int>> measureWindow(const std::string& display) {
  const ChildResult child = runInChild([&] { return describeDialogWindow(display); }, 60000);
  std::vector<std::vector<int>> lines;
  std::istringstream in(child.report);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    lines.emplace_back();
    for (int n; fields >> n;) lines.back().push_back(n);
  }
  return lines;
}

// The text size the view picks when the first controls alone are there:
// the largest at which each of their texts fits the room its control
// leaves (a check box's mark and a group box's indents take some).
int firstControlsTextSize(const std::vector<std::vector<int>>& lines) {
  for (int size = kLargestTextSize; size > kLargestTextSize - 3; --size) {
    bool fits = true;
    for (std::size_t i = 0; i < test::kFirstControlCount; ++i) {
      const ControlTemplate& c = test::kFirstControls[i];
      int room = dluToPixelsX(c.width);
      if (c.kind == ControlKind::kAutoCheckBox) room -= 18;
      if (c.kind == ControlKind::kGroupBox) room -= 12;
      fits = fits && lines[1 + i][5 + kLargestTextSize - size] <= room;
    }
    if (fits) return size;
  }
  return kLargestTextSize - 3;
}

// The first controls keep their places, sizes and text size; the window
// grew downward for the new ones, which lie below them all and whose texts
// do not make the dialog's text smaller.
TEST_F(OptionsWindowTest, TheFirstControlsStayWhereTheyWereAndTheNewOnesLieBelow) {
  const auto lines = measureWindow(server_->display());
  ASSERT_EQ(lines.size(), 1 + std::size(kControls)) << "the window was not measured";
  for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i].size(), 9u);
  EXPECT_EQ(lines[0], (std::vector<int>{300, 575}));
  const int textSize = firstControlsTextSize(lines);
  int firstBottom = 0;
  for (std::size_t i = 0; i < test::kFirstControlCount; ++i) {
    const ControlTemplate& c = test::kFirstControls[i];
    SCOPED_TRACE(test::describe(i, c));
    const int height =
        c.kind == ControlKind::kDropDownList ? kDropDownFieldHeight : dluToPixelsY(c.height);
    const std::vector<int> placed(lines[1 + i].begin(), lines[1 + i].begin() + 5);
    EXPECT_EQ(placed, (std::vector<int>{dluToPixelsX(c.x), dluToPixelsY(c.y), dluToPixelsX(c.width),
                                        height, textSize}));
    firstBottom = std::max(firstBottom, placed[1] + placed[3]);
  }
  for (std::size_t i = test::kFirstControlCount; i < std::size(kControls); ++i) {
    SCOPED_TRACE(test::describe(i, kControls[i]));
    const std::vector<int>& w = lines[1 + i];
    EXPECT_GE(w[1], firstBottom);
    EXPECT_LE(w[0] + w[2], lines[0][0]);
    EXPECT_LE(w[1] + w[3], lines[0][1]);
    EXPECT_EQ(w[4], textSize);
  }
}

std::size_t openFiles() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// The dialog inside this process: it opens again after it closed, and
// after the plug-in was unloaded and loaded again, on the one connection
// to the display it opened first; unloading still unloads.
TEST_F(OptionsWindowTest, OpensAgainAfterClosingAndAfterAReload) {
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  setenv("DISPLAY", server_->display().c_str(), 1);
  std::size_t filesAfterFirstLoad = 0;
  for (int load = 0; load < 2; ++load) {
    SCOPED_TRACE("load " + std::to_string(load));
    PluginLibrary lib(dir_.path());
    ASSERT_TRUE(lib.loaded()) << lib.error();
    const int id = lib->dllstartup(0, 0);
    for (int round = 0; round < 2; ++round) {
      auto dialogRun = std::async(std::launch::async, [&] { return lib->source_configure(id, 0); });
      const std::string window = waitForDialog();
      ASSERT_FALSE(window.empty());
      typeInto(window, kInterval, std::to_string(100 + round));
      click(window, kSave);
      EXPECT_EQ(dialogRun.get(), 0);
      const std::string hostIniPath = hostIni();
      lib->src_save_settings(id, hostIniPath.c_str(), "Headline");
      EXPECT_EQ(hostSetting("UpdateIntervall"), std::to_string(100 + round));
    }
    lib.unload();
    EXPECT_FALSE(isMapped(lib.path())) << "the plug-in stays loaded";
    if (load == 0) filesAfterFirstLoad = openFiles();
    else EXPECT_EQ(openFiles(), filesAfterFirstLoad) << "a second connection to the display";
  }
  if (old) setenv("DISPLAY", saved.c_str(), 1);
  else unsetenv("DISPLAY");
}

}  // namespace
}  // namespace korvo::test
