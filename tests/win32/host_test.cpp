// korvo-host.exe finds korvo.dll beside itself, as a user installs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

TEST(WindowsHostTest, FindsKorvoDllBesideItself) {
  TempDir dir;
  std::filesystem::copy_file(KORVO_HOST_PATH, dir.file("korvo-host.exe"));
  std::filesystem::copy_file(KORVO_PLUGIN_PATH, dir.file("korvo.dll"));
  writeWholeFile(dir.file("host.ini"), "[Channel]\nFunction=GetTitle\nNewsSite=Nowhere\n");
  writeWholeFile(dir.file("Korvo.ini"), "[NewsSites]\nElsewhere=http://news.test/feed.xml\n");
  ProgramRun run;
  run.args = {dir.file("korvo-host.exe"), dir.file("host.ini")};
  ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("plug-in " + dir.file("korvo.dll") + "\n  Korvo 0.93"), std::string::npos)
      << r.out;
  // The plug-in beside it wrote its switches back and kept the site.
  const std::string korvoIni = readWholeFile(dir.file("Korvo.ini"));
  for (const char* line : {"Elsewhere=http://news.test/feed.xml", "ShowError=no", "DoLog=no"})
    EXPECT_NE(korvoIni.find(line), std::string::npos) << line << " in\n" << korvoIni;
}

}  // namespace
}  // namespace korvo::test
