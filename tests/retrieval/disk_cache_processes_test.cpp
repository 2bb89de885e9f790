// Two processes on one KorvoCache folder (two hosts, or two loads of the
// library): whole files only, and no copy lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "retrieval/disk_cache.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::ChildResult;
using test::runInChild;
using test::TempDir;

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
// both start writing together.
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
  auto writer = [&](int w) {
    return [&, w]() -> std::string {
      gate.waitInChild();
      ManualClock clock(1700000000u);
      Environment env;
      env.clock = &clock;
      DiskCache cache(folder, env);
      for (int i = 0; i < kCopies; ++i) {
        clock.advance(1);
        const std::string url = "http://w" + std::to_string(w) + ".example/" + std::to_string(i);
        if (!cache.store(copyOf(url, bodyFor(url, i)))) return "store of " + url + " failed";
        if (!cache.store(
                copyOf("http://shared.example/", bodyFor("shared by " + std::to_string(w), i))))
          return "store of the shared URL failed";
      }
      return "ok";
    };
  };
  ChildResult results[2];
  std::thread first([&] { results[0] = runInChild(writer(0), kChildTimeoutMs); });
  std::thread second([&] { results[1] = runInChild(writer(1), kChildTimeoutMs); });
  gate.openWhenReady(2);
  first.join();
  second.join();
  for (const ChildResult& result : results) {
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.report, "ok");
  }

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
  std::atomic<bool> done{false};
  ChildResult result;
  std::thread writer([&] {
    result = runInChild(
        [&]() -> std::string {
          gate.waitInChild();
          DiskCache own(folder, env);
          for (int i = 0; i < 300; ++i)
            if (!own.store(copyOf(url, bodies[i % 2]))) return "store failed";
          return "ok";
        },
        kChildTimeoutMs);
    done = true;
  });
  gate.openWhenReady(1);
  int loads = 0, whole = 0;
  while (!done) {
    const std::optional<StoredCopy> copy = cache.load(url);
    if (copy && (copy->body == bodies[0] || copy->body == bodies[1])) ++whole;
    ++loads;
  }
  writer.join();
  EXPECT_EQ(whole, loads) << "every load found one whole copy";
  EXPECT_EQ(result.report, "ok");
  EXPECT_GT(loads, 0);
}

}  // namespace
}  // namespace korvo
