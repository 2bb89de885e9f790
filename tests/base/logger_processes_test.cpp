// Two processes logging into one folder at the same time, as two hosts with
// the plug-in loaded do: every line arrives whole, none is lost, and one
// crossing of the bound moves the file aside once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/logger.h"
#include "platform/clock.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::readWholeFile;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LoggerProcessesTest, TwoProcessesLoseNoLineAndRotateOncePerCrossing) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer cannot start threads in a child forked from a threaded "
                  "process";
#endif
  // Every line is 64 bytes: the bound holds 128 of them, and the 200 lines
  // of both processes cross it once.
  constexpr std::size_t kLineBytes = 64;
  constexpr std::uint64_t kBound = 128 * kLineBytes;
  constexpr int kLinesEach = 100;
  constexpr const char* kStamp = "Wed Dec 05 14:03:09 2007 --> ";
  auto message = [&](int process, int n) {
    std::string text = "process " + std::to_string(process) + " line " + std::to_string(n) + " ";
    text.resize(kLineBytes - 30, 'x');  // the stamp, the arrow and the line feed make 30
    return text;
  };
  // Each round starts both at once again, so that their lines and their
  // looks at the file's size interleave differently.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    test::TempDir dir;
    // Both are forked while this process has no other thread, then wait at
    // the gate, a pipe whose end of file opens it.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    auto process = [&](int id) {
      return [&, id](int reportFd) {
        ::close(gate[1]);
        char c;
        while (::read(gate[0], &c, 1) > 0) {
        }
        ManualClock clock(1196863389u);
        Logger log(clock, kBound);
        log.setEnabled(true);
        log.openLog(dir.path());
        for (int n = 0; n < kLinesEach; ++n) log.writeLine(message(id, n));
        log.closeLog();
        (void)!::write(reportFd, "ok", 2);
      };
    };
    test::Child one(process(1));
    test::Child two(process(2));
    ::close(gate[0]);
    ::close(gate[1]);
    ASSERT_TRUE(one.started() && two.started());
    constexpr int kProcessGuardMs = 60000;  // a hang guard: each ends long before
    EXPECT_EQ(one.readToEnd(kProcessGuardMs), "ok");
    EXPECT_EQ(two.readToEnd(kProcessGuardMs), "ok");

    const std::string old = readWholeFile(dir.file("Korvolog.old.txt"));
    const std::string now = readWholeFile(dir.file("Korvolog.txt"));
    EXPECT_EQ(old.size(), kBound) << "moved aside once, full";
    EXPECT_EQ(now.size(), 2 * kLinesEach * kLineBytes - kBound);
    std::set<std::string> expected;
    for (int id : {1, 2})
      for (int n = 0; n < kLinesEach; ++n) expected.insert(kStamp + message(id, n));
    std::set<std::string> seen;
    for (const std::string& line : splitLines(old + now)) {
      EXPECT_EQ(expected.count(line), 1u) << "a line not written whole: " << line;
      EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
    }
    EXPECT_EQ(seen.size(), expected.size()) << "lines lost";
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace korvo
