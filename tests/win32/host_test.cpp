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
  ProgramRun run;
  run.args = {dir.file("korvo-host.exe"), dir.file("host.ini")};
  ProgramResult r = runProgram(run);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("plug-in " + dir.file("korvo.dll") + "\n  Korvo 0.93"), std::string::npos)
      << r.out;
  EXPECT_EQ(readWholeFile(dir.file("Korvo.ini")), "[Settings]\nShowError=no\nDoLog=no\n");
}

}  // namespace
}  // namespace korvo::test
