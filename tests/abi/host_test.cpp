// korvo-host run as a program: against the built plug-in, and against a
// scripted stand-in that shows what the host does with odd answers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

class HostTest : public ::testing::Test {
 protected:
  // Copies a library into the test's directory and returns the copy's path.
  std::string copyLibrary(const std::string& from, const std::string& name) {
    const std::string to = dir_.file(name);
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to;
  }
  ProgramResult host(std::vector<std::string> args, std::string interruptWhen = "") {
    ProgramRun run;
    run.args = {KORVO_HOST_PATH};
    run.args.insert(run.args.end(), args.begin(), args.end());
    run.workDir = dir_.path();
    // The plug-in's default code page follows the locale: the C locale
    // here (latin1), unless a case sets another.
    run.env = {"KORVO_FAKE_CALLS=" + dir_.file("calls.txt"), "LANG=C", "LC_ALL=C"};
    run.env.insert(run.env.end(), env_.begin(), env_.end());
    run.interruptWhen = std::move(interruptWhen);
    return runProgram(run);
  }
  std::string calls() const { return readWholeFile(dir_.file("calls.txt")); }
  // A Korvo.ini beside the libraries of the test, naming one news site that
  // no meter downloads; settings (lines) go into its [Settings].
  void writeKorvoIni(const std::string& settings = "") {
    writeWholeFile(dir_.file("Korvo.ini"), (settings.empty() ? "" : "[Settings]\n" + settings) +
                                               "[NewsSites]\n" + kUnusedSite + "\n");
  }

  static constexpr const char* kUnusedSite = "Elsewhere=http://news.test/feed.xml";

  TempDir dir_;
  std::vector<std::string> env_;  // more for the host's environment
};

const char* const kTwoMeters =
    "; two meters\n"
    "[Channel]\nFunction=GetTitle\nNewsSite=Nowhere\n"
    "\n"
    "[Headline]\nFunction=GetItemTitle\nParam=0\n";

TEST_F(HostTest, RunsTwoMetersOfTheBuiltPluginAndShutsDownCleanly) {
  const std::string lib = copyLibrary(KORVO_PLUGIN_PATH, "libkorvo.so");
  writeKorvoIni("DoLog=yes\n");
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  ProgramResult r = host({"--lib", lib, "host.ini"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("plug-in " + lib + "\n  Korvo 0.93 (2005, 2007-01-25), RSS reader plugin"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  settings " + dir_.file("Korvo.ini") + " (1 news site, logging on)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("2 meters started\n"
                       "[Channel] GetTitle\n  text (0 bytes)\n"
                       "[Headline] GetItemTitle(\"0\")\n  text (0 bytes)\n"
                       "settings saved, meters shut down, plug-in unloaded\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")),
            std::string("[Settings]\nDoLog=yes\nShowError=no\n[NewsSites]\n") + kUnusedSite + "\n")
      << "the detach ran";
  std::string log;
  for (const char* line : {"DLLMain()", "Kestrova - init()", "Kestrova - dlltype()",
                                  "Kestrova - actionsprovided()", "Kestrova - dllstartup()",
                                  "Kestrova - src_load_settings()",
                                  "Error: No news site named 'Nowhere' in Korvo.ini.",
                                  "Kestrova - dllstartup()",
                                  "Kestrova - src_load_settings()", "Kestrova - src_save_settings()",
                                  "Kestrova - dllshutdown()", "Kestrova - src_save_settings()",
                                  "Kestrova - dllshutdown()"})
    log += std::string(line) + "\n";
  std::string messages;
  for (std::string rest = readWholeFile(dir_.file("Korvolog.txt")); rest.size() > 29;) {
    std::size_t end = rest.find('\n');
    messages += rest.substr(29, end - 29) + "\n";
    rest.erase(0, end + 1);
  }
  EXPECT_EQ(messages, log);
}

// The example a reader runs first is saved back unchanged: it holds every
// setting the plug-in writes, in the form the plug-in writes it.
TEST_F(HostTest, TheExampleHostIniIsSavedBackUnchanged) {
  const std::string lib = copyLibrary(KORVO_PLUGIN_PATH, "libkorvo.so");
  const std::string example = readWholeFile(std::string(KORVO_EXAMPLES_DIR) + "/host.ini");
  writeWholeFile(dir_.file("host.ini"), example);
  fs::copy_file(std::string(KORVO_EXAMPLES_DIR) + "/Korvo.ini", dir_.file("Korvo.ini"));
  ProgramResult r = host({"--lib", lib, "host.ini"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readWholeFile(dir_.file("host.ini")), example);
}

TEST_F(HostTest, FindsThePluginBesideItself) {
  const std::string hostCopy = copyLibrary(KORVO_HOST_PATH, "korvo-host");
  copyLibrary(KORVO_PLUGIN_PATH, "libkorvo.so");
  writeKorvoIni();
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  ProgramRun run;
  run.args = {hostCopy, dir_.file("host.ini")};
  ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("plug-in " + dir_.file("libkorvo.so")), std::string::npos) << r.out;
  EXPECT_NE(readWholeFile(dir_.file("Korvo.ini")).find("ShowError="), std::string::npos)
      << "the plug-in beside it wrote its settings back";
}

// Without a news site every meter would be empty: korvo-host says what to
// do instead, before the plug-in is loaded, so that it writes no Korvo.ini
// that would leave the next run silently empty; the next run says the same.
TEST_F(HostTest, WithNoNewsSiteSaysWhatToDoAndLoadsNothing) {
  const std::string lib = copyLibrary(KORVO_PLUGIN_PATH, "libkorvo.so");
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  const std::string next = ", NAME being the NewsSite of a meter in host.ini (korvo-host --fetch "
                           "URL tries a feed first).\n";
  const std::string noFile = "korvo-host: every meter would be empty: there is no " +
                             dir_.file("Korvo.ini") +
                             "\nWrite it with a line [NewsSites] and under it NAME=URL" + next;
  const std::string noSite = "korvo-host: every meter would be empty: " + dir_.file("Korvo.ini") +
                             " names no news site under [NewsSites]\nAdd there a line NAME=URL" +
                             next;
  struct Case {
    const char* name;
    const char* korvoIni;  // null: none
    const std::string& says;
  } cases[] = {
      {"no Korvo.ini", nullptr, noFile},
      {"settings only", "[Settings]\nShowError=yes\nDoLog=yes\n", noSite},
      {"an empty site list", "[Settings]\nDoLog=yes\n[NewsSites]\n\n[Other]\nA=http://a.test/\n",
       noSite},
      {"no URL, no name, a comment", "[NewsSites]\nNews=\n=http://a.test/\n;News=http://a.test/\n",
       noSite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.file("Korvo.ini"));
    if (c.korvoIni) writeWholeFile(dir_.file("Korvo.ini"), c.korvoIni);
    for (int run = 1; run <= 2; ++run) {
      ProgramResult r = host({"--lib", lib, "host.ini"});
      EXPECT_EQ(r.exitCode, 3) << r.err;
      EXPECT_EQ(r.err, c.says);
      EXPECT_EQ(r.out, "");
    }
    if (c.korvoIni) {
      EXPECT_EQ(readWholeFile(dir_.file("Korvo.ini")), c.korvoIni);
    } else {
      EXPECT_FALSE(fs::exists(dir_.file("Korvo.ini")));
    }
    EXPECT_FALSE(fs::exists(dir_.file("Korvolog.txt"))) << "the plug-in was loaded";
    EXPECT_EQ(readWholeFile(dir_.file("host.ini")), kTwoMeters);
  }
  // One site is enough; a library that is not there is said first.
  writeKorvoIni();
  EXPECT_EQ(host({"--lib", lib, "host.ini"}).exitCode, 0);
  fs::remove(dir_.file("Korvo.ini"));
  ProgramResult r = host({"--lib", dir_.file("missing.so"), "host.ini"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;
}

TEST_F(HostTest, PrintsItsVersion) {
  ProgramResult r = host({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "korvo-host " KORVO_PROJECT_VERSION "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(HostTest, ShowsTextsTooltipsAndNullAnswers) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeKorvoIni();
  writeWholeFile(dir_.file("host.ini"),
                 "[Title]\nFunction=GetTitle\n"
                 "[Link]\nFunction=GetLink\n"
                 "[Text]\nFunction=GetDescription\n"
                 "[Item]\nFunction=GetItemTitle\nParam= 3 \n"
                 "[List]\nFunction=GetTitleOfItems\n"
                 "[Bytes]\nFunction=GetTitleOfItemsNT\nParam=2\n");
  ProgramResult r = host({"--lib", lib, "host.ini"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("[Title] GetTitle\n  text (10 bytes): Fake title\n"
                       "  tooltip (14 bytes): First%ttsecond\n"
                       "[Link] GetLink\n  text (0 bytes)\n"
                       "[Text] GetDescription\n  text (9 bytes): two\n    lines\n  tooltip (0 bytes)\n"
                       "[Item] GetItemTitle(\"3\")\n  text (19 bytes): item 3 of meter 103\n"
                       "[List] GetTitleOfItems(\"\")\n  text (8 bytes): list of \n"
                       "[Bytes] GetTitleOfItemsNT(\"2\")\n"
                       "  text (3 bytes): \xC3\xA4\xC3\xB6\xC3\xBC\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("[Link] GetLink returned a null pointer"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[Bytes]: the plug-in does not list GetTitleOfItemsNT"), std::string::npos)
      << r.err;
  ProgramResult latin1 = host({"--latin1", "--lib", lib, "host.ini"});
  EXPECT_NE(latin1.out.find("text (3 bytes): \xC3\xA4\xC3\xB6\xC3\xBC\n"), std::string::npos)
      << latin1.out;
}

// The same bytes from the plug-in read in the code page it writes: given
// on the command line, else its CodePage setting; what is no character is
// shown as \xNN.
TEST_F(HostTest, ShowsTheTextsInTheCodePageThePluginWrites) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeWholeFile(dir_.file("host.ini"), "[Story]\nFunction=GetItemDescription\nParam=0\n");
  // "日本" then "€" in Shift_JIS and UTF-8, a line apart.
  const std::string kBytes = "\x93\xFA\x96{\n\xE2\x82\xAC";
  struct Case {
    std::vector<std::string> args;
    const char* codePageSetting;  // CodePage in Korvo.ini; null: none
    std::string bytes;
    const char* shown;    // the text after "text (N bytes): "
    const char* heading;  // "texts in code page ..."; null: not checked
    const char* warning;  // on standard error; null: none
  } cases[] = {
      {{"--codepage", "1251"}, nullptr, kBytes,
       "\u201C\u044A\u2013{\n    \u0432\u201A\u00AC", "1251 (command line)", nullptr},
      {{"--codepage", "932"}, nullptr, kBytes, "\u65E5\u672C\n    \u7AC4\uFF6C",
       "932 (command line)", nullptr},
      {{"--codepage", "utf-8"}, nullptr, kBytes, "\\x93\\xFA\\x96{\n    \u20AC",
       "utf-8 (command line)", nullptr},
      {{"--codepage", "latin1"}, nullptr, kBytes, "\u0093\u00FA\u0096{\n    \u00E2\u0082\u00AC",
       "latin1 (command line)", nullptr},
      {{"--latin1"}, "932", kBytes, "\u0093\u00FA\u0096{\n    \u00E2\u0082\u00AC",
       "latin1 (command line)", nullptr},
      {{"--utf8"}, "932", kBytes, "\\x93\\xFA\\x96{\n    \u20AC", "utf-8 (command line)", nullptr},
      {{}, "932", kBytes, "\u65E5\u672C\n    \u7AC4\uFF6C", "932 (CodePage in Korvo.ini)",
       nullptr},
      {{"--codepage", "1251"}, "932", kBytes, "\u201C\u044A\u2013{\n    \u0432\u201A\u00AC",
       "1251 (command line)", nullptr},
      {{}, " UTF-8 ", kBytes, "\\x93\\xFA\\x96{\n    \u20AC", "utf-8 (CodePage in Korvo.ini)",
       nullptr},
      {{}, "klingon", "caf\xE9", "caf\u00E9", "latin1 (CodePage in Korvo.ini)",
       "CodePage=klingon (CodePage in Korvo.ini) is no code page the plug-in writes; shown as "
       "latin1"},
      // A lead byte at the end, in Shift_JIS and in UTF-8.
      {{"--codepage", "932"}, nullptr, "\x93\xFA\x96", "\u65E5\\x96", nullptr, nullptr},
      {{"--codepage", "utf-8"}, nullptr, "a\xC3", "a\\xC3", nullptr, nullptr},
      // No CodePage: the plug-in's default, auto (latin1 in the C locale
      // here, 1252 under Wine's default), the same for these letters.
      {{}, nullptr, "\xE4\xF6\xFC", "\u00E4\u00F6\u00FC", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::string trace = c.codePageSetting ? std::string("CodePage=") + c.codePageSetting : "";
    for (const std::string& a : c.args) trace += " " + a;
    SCOPED_TRACE(trace);
    writeKorvoIni(c.codePageSetting ? std::string("CodePage=") + c.codePageSetting + "\n" : "");
    env_ = {"KORVO_FAKE_TEXT=" + c.bytes};
    std::vector<std::string> args = {"--lib", lib};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("host.ini");
    ProgramResult r = host(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("[Story] GetItemDescription(\"0\")\n  text (" +
                         std::to_string(c.bytes.size()) + " bytes): " + c.shown + "\n"),
              std::string::npos)
        << r.out;
    if (c.heading) {
      EXPECT_NE(r.out.find(std::string("  texts in code page ") + c.heading + ", shown in UTF-8\n"),
                std::string::npos)
          << r.out;
    }
    if (c.warning) {
      EXPECT_NE(r.err.find(std::string("korvo-host: warning: ") + c.warning), std::string::npos)
          << r.err;
    } else if (c.codePageSetting) {
      EXPECT_EQ(r.err, "");
    }
  }
}

// auto is the code page of the locale korvo-host runs in, as it is for the
// plug-in in the host's process; a locale of no code page the plug-in
// writes gives latin1, as the plug-in falls back to it.
TEST_F(HostTest, AutoIsTheCodePageOfTheLocale) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeWholeFile(dir_.file("host.ini"), "[Story]\nFunction=GetItemDescription\nParam=0\n");
  struct Case {
    const char* locale;
    const char* setting;  // CodePage in Korvo.ini; null: none
    std::vector<std::string> args;
    const char* heading;
    const char* shown;
    const char* warning;  // null: none
  } cases[] = {
      {"ru_RU.CP1251", "auto", {}, "1251 (auto) (CodePage in Korvo.ini)",
       "\u041F\u0440\u0438\u0432\u0435\u0442", nullptr},
      {"ru_RU.CP1251", "932", {"--codepage", "AUTO"}, "1251 (auto) (command line)",
       "\u041F\u0440\u0438\u0432\u0435\u0442", nullptr},
      {"ru_RU.UTF-8", "auto", {}, "utf-8 (auto) (CodePage in Korvo.ini)",
       "\\xCF\\xF0\\xE8\\xE2\\xE5\\xF2", nullptr},
      // A desktop's UTF-8 locale with no CodePage at all: the default is auto.
      {"C.UTF-8", nullptr, {}, "utf-8 (auto) (the plug-in's default)",
       "\\xCF\\xF0\\xE8\\xE2\\xE5\\xF2", nullptr},
      // The C locale shows only ASCII: auto is latin1 there, without a warning.
      {"C", "auto", {}, "latin1 (auto) (CodePage in Korvo.ini)",
       "\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " CodePage=" + (c.setting ? c.setting : "(none)"));
    writeKorvoIni(c.setting ? std::string("CodePage=") + c.setting + "\n" : "");
    env_ = {"KORVO_FAKE_TEXT=\xCF\xF0\xE8\xE2\xE5\xF2", std::string("LANG=") + c.locale,
            std::string("LC_ALL=") + c.locale};
    std::vector<std::string> args = {"--lib", lib};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("host.ini");
    ProgramResult r = host(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("  texts in code page ") + c.heading + ", shown in UTF-8\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(std::string("text (6 bytes): ") + c.shown + "\n"), std::string::npos)
        << r.out;
    if (c.warning) {
      EXPECT_NE(r.err.find(std::string("korvo-host: warning: ") + c.warning), std::string::npos)
          << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST_F(HostTest, DrivesTheEntryPointsInHostOrder) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  env_ = {"DISPLAY=:0"};  // the stand-in opens no window
  ProgramResult r = host({"--lib", lib, "--configure", "headline", "--click", "Channel",
                          "--click", "Headline", "--watch", "0", "--rounds", "3", "host.ini"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(calls(),
            "init\n"
            "dllstartup 100\nsrc_load_settings 100 host.ini Channel\n"
            "dllstartup 101\nsrc_load_settings 101 host.ini Headline\n"
            "source_configure 101\nsrc_save_settings 101 host.ini Headline\n"
            "action 5001 100\naction 5001 101\n"
            "src_save_settings 100 host.ini Channel\ndllshutdown 100\n"
            "src_save_settings 101 host.ini Headline\ndllshutdown 101\n");
  for (const char* round : {"-- drawing 1\n", "-- drawing 2\n", "-- drawing 3\n"})
    EXPECT_NE(r.out.find(round), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("-- drawing 4"), std::string::npos);
  EXPECT_NE(r.out.find("configured [Headline]\n"), std::string::npos);
  EXPECT_NE(r.out.find("clicked [Channel] (what it opened is logged only with DoLog=yes in "
                       "Korvo.ini)\nclicked [Headline] (what"),
            std::string::npos)
      << r.out;
  // No Korvo.ini: the options dialog is where a news site is added.
  EXPECT_NE(r.err.find("korvo-host: warning: no " + dir_.file("Korvo.ini") +
                       ": the plug-in makes one when it is unloaded"),
            std::string::npos)
      << r.err;
}

// What korvo-host says after a click or an options dialog: the outcome the
// plug-in logged, or, without a log, what the host can tell by itself.
TEST_F(HostTest, SaysWhatAClickOpenedOrWhyNothingWasAndWhyNoDialogShowed) {
  KORVO_SKIP_WITHOUT_PORT_80();
  const std::string lib = copyLibrary(KORVO_PLUGIN_PATH, "libkorvo.so");
  TempDir bin, emptyBin;
  const std::string record = bin.file("opened.txt");
  writeWholeFile(bin.file("xdg-open"),
                 "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> '" + record + "'\n");
  fs::permissions(bin.file("xdg-open"), fs::perms::owner_all | fs::perms::group_read |
                                           fs::perms::group_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
  LoopbackServer server(
      caseAddress(), Script().send(httpAnswer(
                         "HTTP/1.0 200 OK", {},
                         "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>T</title>"
                         "<link>file:///etc/passwd</link>"
                         "<item><title>a</title><link>http://news.test/b?x=1&amp;y=2</link></item>"
                         "</channel></rss>\n")));
  ASSERT_TRUE(server.ok()) << server.error();
  writeWholeFile(dir_.file("host.ini"),
                 "[None]\nFunction=GetTitle\nNewsSite=News\n"
                 "[Refused]\nFunction=GetTitle\nNewsSite=News\nInputClick=1\n"
                 "[Opened]\nFunction=GetTitle\nNewsSite=News\nInputClick=2\nInputClickItem=0\n"
                 "[NoLink]\nFunction=GetTitle\nNewsSite=Dead\nInputClick=1\n"
                 "[Unknown]\nFunction=GetTitle\nNewsSite=Nowhere\nInputClick=1\n");
  struct Case {
    const char* option;  // --click or --configure
    const char* section;
    bool log;
    bool opener;  // an xdg-open on PATH
    const char* says;
  } cases[] = {
      {"--click", "None", true, true,
       "clicked [None]: nothing opened: no click action (InputClick=0)"},
      {"--click", "Refused", true, true,
       "clicked [Refused]: nothing opened: link refused: file:///etc/passwd"},
      {"--click", "Opened", true, true, "clicked [Opened]: opened http://news.test/b?x=1&y=2"},
      {"--click", "Opened", true, false, "clicked [Opened]: nothing opened: no xdg-open on PATH"},
      // The failure is named once the download has ended.
      {"--click", "NoLink", true, true, "clicked [NoLink]: nothing opened: no link"},
      {"--click", "Unknown", true, true,
       "clicked [Unknown]: nothing opened: No news site named 'Nowhere' in Korvo.ini."},
      {"--click", "Opened", false, true,
       "clicked [Opened] (what it opened is logged only with DoLog=yes in Korvo.ini)"},
      {"--configure", "None", true, true,
       "not configured [None]: no window could be shown (no display, or the window system "
       "refused it)"},
      {"--configure", "None", false, true,
       "not configured [None]: no options dialog could be shown (DISPLAY is not set)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.section + (c.log ? " logged" : ""));
    writeWholeFile(dir_.file("Korvo.ini"), std::string("[Settings]\nWaitForDownload=-1\nDoLog=") +
                                               (c.log ? "yes" : "no") +
                                               "\n[NewsSites]\nNews=" + server.url("/news.xml") +
                                               "\nDead=http://127.0.3.31/news.xml\n");
    env_ = {"DISPLAY=", "PATH=" + (c.opener ? bin.path() : emptyBin.path())};
    ProgramResult r = host({"--lib", lib, c.option, c.section, "host.ini"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("\n") + c.says), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  settings " + dir_.file("Korvo.ini") + " (2 news sites, logging " +
                         (c.log ? "on" : "off") + ")\n"),
              std::string::npos)
        << r.out;
  }
  // The stand-in browser got the link of the two clicks with an opener
  // (logged or not) that reached it.
  const std::string twice = "1|http://news.test/b?x=1&y=2\n1|http://news.test/b?x=1&y=2\n";
  std::string opened;
  for (int i = 0; i < 500 && opened.size() < twice.size(); ++i) {
    opened = readWholeFile(record);
    if (opened.size() < twice.size()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(opened, twice);
}

// --fetch reads a feed as a meter does, the charset of the answer's
// Content-Type included, and prints its texts in UTF-8.
TEST_F(HostTest, FetchPrintsTheFeedsTextsInUtf8) {
  KORVO_SKIP_WITHOUT_PORT_80();
  // "Новости" and "Погода" in windows-1251, named only by the header.
  LoopbackServer server(
      caseAddress(),
      Script().send(httpAnswer("HTTP/1.0 200 OK", {"Content-Type: text/xml; charset=windows-1251"},
                               "<rss version=\"2.0\"><channel><title>\xCD\xEE\xE2\xEE\xF1\xF2"
                               "\xE8</title><item><title>\xCF\xEE\xE3\xEE\xE4\xE0 &#8211; "
                               "&eacute;t&eacute;</title></item></channel></rss>")));
  ASSERT_TRUE(server.ok()) << server.error();
  const ProgramResult r = host({"--fetch", server.url("/feed.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("title: \xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8\n"
                       "items: 1\n"
                       "  1. \xD0\x9F\xD0\xBE\xD0\xB3\xD0\xBE\xD0\xB4\xD0\xB0 \xE2\x80\x93 "
                       "\xC3\xA9t\xC3\xA9\n"),
            std::string::npos)
      << r.out;
}

TEST_F(HostTest, WatchEndsCleanlyWhenInterrupted) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeKorvoIni();
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  ProgramResult r = host({"--lib", lib, "--watch", "30", "host.ini"}, "-- drawing 1\n");
  ASSERT_FALSE(r.timedOut);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(calls().find("src_save_settings 101 host.ini Headline\ndllshutdown 101\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("plug-in unloaded"), std::string::npos);
}

TEST_F(HostTest, NamesAMissingEntryPoint) {
  const std::string lib = copyLibrary(KORVO_FAKE_INCOMPLETE_PLUGIN_PATH, "libincomplete.so");
  writeKorvoIni();
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  ProgramResult r = host({"--lib", lib, "host.ini"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("lacks the entry point GetTitleOfItemsNT"), std::string::npos) << r.err;
  EXPECT_EQ(calls(), "") << "nothing called";
}

TEST_F(HostTest, RefusesBadArgumentsAndFiles) {
  const std::string lib = copyLibrary(KORVO_FAKE_PLUGIN_PATH, "libfake.so");
  writeKorvoIni();
  writeWholeFile(dir_.file("host.ini"), kTwoMeters);
  writeWholeFile(dir_.file("bad.ini"), "[Meter]\nFunction=GetTitles\n");
  writeWholeFile(dir_.file("none.ini"), "[Meter]\nParam=1\n");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const Case cases[] = {
      {{}, 2, "no host INI file given"},
      {{"--bogus", "host.ini"}, 2, "unknown option --bogus"},
      {{"host.ini", "other.ini"}, 2, "only one host INI file"},
      {{"--lib"}, 2, "--lib needs a value"},
      {{"--watch", "soon", "host.ini"}, 2, "--watch needs a number of seconds"},
      {{"--watch", "0", "host.ini"}, 2, "give --rounds too"},
      {{"--rounds", "0", "host.ini"}, 2, "--rounds needs a number above 0"},
      {{"--codepage", "1252x", "host.ini"}, 2,
       "--codepage needs auto, latin1, utf-8 or the number of a code page such as 1251, not "
       "\"1252x\""},
      {{"--codepage", "1", "host.ini"}, 2, "--codepage needs auto,"},
      {{"--codepage", "", "host.ini"}, 2, "--codepage needs auto,"},
      {{"--codepage"}, 2, "--codepage needs a value"},
      {{"--lib", lib, "missing.ini"}, 2, "cannot read the host INI file missing.ini"},
      {{"--lib", lib, "."}, 2, "cannot read the host INI file ."},
      {{"--lib", lib, "bad.ini"}, 2, "[Meter]: Function \"GetTitles\" is not one of GetTitle,"},
      {{"--lib", lib, "none.ini"}, 2, "[Meter]: Function \"\" is not one of"},
      {{"--lib", lib, "--click", "Nope", "host.ini"}, 2, "no meter [Nope] in host.ini"},
      {{"--lib", lib, "--configure", "Nope", "host.ini"}, 2, "no meter [Nope]"},
      {{"--lib", dir_.file("missing.so"), "host.ini"}, 1, "cannot load"},
      {{"--lib", "host.ini", "host.ini"}, 1, "cannot load host.ini"},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& a : c.args) trace += a + " ";
    SCOPED_TRACE(trace);
    ProgramResult r = host(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(calls(), "") << "nothing loaded or called";
}

TEST_F(HostTest, HelpSaysHowToUseIt) {
  ProgramResult r = host({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* text : {"Usage: korvo-host [options] HOST_INI", "--lib PATH", "--click SECTION",
                           "--configure SECTION", "--watch N", "--rounds K", "--codepage CP",
                           "auto", "latin1", "utf-8", "--utf8", "--latin1", "--version",
                           "Function", "Param", "%tt", "3 no news site"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace korvo::test
