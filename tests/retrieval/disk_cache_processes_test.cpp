// Two processes on one KorvoCache folder (two hosts, or two loads of the
// library): whole files only, and no copy lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/file_system.h"
#include "retrieval/disk_cache.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::Child;
using test::TempDir;

// A hang guard: each child ends long before.
constexpr int kChildTimeoutMs = 120000;

std::string bodyFor(const std::string& url, int round) {
  std::string body = "<rss>" + url + " " + std::to_string(round) + "</rss>";
  body.resize(4096 + static_cast<std::size_t>(round % 7) * 333, '.');
  return body;
}

StoredCopy copyOf(const std::string& url, std::string body) {
  StoredCopy copy;
  copy.url = url;
  copy.etag = "\"" + std::to_string(body.size()) + "\"";
  copy.body = std::move(body);
  return copy;
}

// A pipe that the children wait on until the parent closes it, so that
// both start writing together. The children are forked from the test's
// own thread while it has no other (a child forked beside another thread
// could inherit a lock that thread held, the allocator's under ASan).
class StartGate {
 public:
  StartGate() {
    if (::pipe(gate_) != 0 || ::pipe(ready_) != 0) ADD_FAILURE() << "pipe";
  }
  ~StartGate() {
    for (int fd : {gate_[0], gate_[1], ready_[0], ready_[1]})
      if (fd >= 0) ::close(fd);
  }
  // In a child: says it is there, then waits for the opening.
  void waitInChild() {
    ::close(gate_[1]);
    char c = 'r';
    (void)!::write(ready_[1], &c, 1);
    while (::read(gate_[0], &c, 1) > 0) {
    }
  }
  // In the parent: once `children` have said they are there.
  void openWhenReady(int children) {
    char c;
    for (int n = 0; n < children && ::read(ready_[0], &c, 1) == 1; ++n) {
    }
    ::close(gate_[1]);
    gate_[1] = -1;
  }

 private:
  int gate_[2] = {-1, -1};
  int ready_[2] = {-1, -1};
};

TEST(DiskCacheProcessesTest, TwoWritersOnOneFolderLoseNothing) {
  TempDir dir;
  const std::string folder = dir.path() + "KorvoCache";
  constexpr int kCopies = 60;
  StartGate gate;
  // Writes its copies and the shared one, then reports "ok" or what failed.
  auto writer = [&](int w) {
    return [&, w](int reportFd) {
      gate.waitInChild();
      ManualClock clock(1700000000u);
      Environment env;
      env.clock = &clock;
      DiskCache cache(folder, env);
      std::string report = "ok";
      for (int i = 0; i < kCopies && report == "ok"; ++i) {
        clock.advance(1);
        const std::string url = "http://w" + std::to_string(w) + ".example/" + std::to_string(i);
        if (!cache.store(copyOf(url, bodyFor(url, i))))
          report = "store of " + url + " failed";
        else if (!cache.store(copyOf("http://shared.example/",
                                     bodyFor("shared by " + std::to_string(w), i))))
          report = "store of the shared URL failed";
      }
      (void)!::write(reportFd, report.data(), report.size());
    };
  };
  Child first(writer(0));
  Child second(writer(1));
  ASSERT_TRUE(first.started() && second.started());
  gate.openWhenReady(2);
  EXPECT_EQ(first.readToEnd(kChildTimeoutMs), "ok");
  EXPECT_EQ(second.readToEnd(kChildTimeoutMs), "ok");

  ManualClock clock(1700000000u + kCopies);
  Environment env;
  env.clock = &clock;
  DiskCache cache(folder, env);
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kCopies; ++i) {
      const std::string url = "http://w" + std::to_string(w) + ".example/" + std::to_string(i);
      const std::optional<StoredCopy> copy = cache.load(url);
      ASSERT_TRUE(copy) << url;
      EXPECT_EQ(copy->body, bodyFor(url, i));
    }
  }
  const std::optional<StoredCopy> shared = cache.load("http://shared.example/");
  ASSERT_TRUE(shared);
  EXPECT_TRUE(shared->body == bodyFor("shared by 0", kCopies - 1) ||
              shared->body == bodyFor("shared by 1", kCopies - 1))
      << "one writer's last copy, whole";
  const auto left = files::listFiles(folder);
  EXPECT_EQ(left.size(), 2u * kCopies + 1) << "no temporary file left behind";
}

TEST(DiskCacheProcessesTest, AReaderNeverSeesAPartOfAFile) {
  TempDir dir;
  const std::string folder = dir.path() + "KorvoCache";
  const std::string url = "http://busy.example/feed";
  const std::string bodies[2] = {std::string(300000, 'a'), std::string(200000, 'b') + "</rss>"};
  Environment env;
  DiskCache cache(folder, env);
  ASSERT_TRUE(cache.store(copyOf(url, bodies[0])));

  StartGate gate;
  Child writer([&](int reportFd) {
    gate.waitInChild();
    DiskCache own(folder, env);
    std::string report = "ok";
    for (int i = 0; i < 300 && report == "ok"; ++i)
      if (!own.store(copyOf(url, bodies[i % 2]))) report = "store failed";
    (void)!::write(reportFd, report.data(), report.size());
  });
  ASSERT_TRUE(writer.started());
  gate.openWhenReady(1);
  int loads = 0, whole = 0;
  const auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildTimeoutMs);
  while (!writer.ended()) {
    ASSERT_TRUE(std::chrono::steady_clock::now() < guard) << "the writer hung";
    const std::optional<StoredCopy> copy = cache.load(url);
    if (copy && (copy->body == bodies[0] || copy->body == bodies[1])) ++whole;
    ++loads;
  }
  EXPECT_EQ(whole, loads) << "every load found one whole copy";
  EXPECT_EQ(writer.readAvailable(), "ok");
  EXPECT_GT(loads, 0);
}

}  // namespace
}  // namespace korvo
