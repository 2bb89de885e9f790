// Downloads on worker threads: who waits, when results show, one download
// per URL, stop. The test server holds each answer at a gate the test
// opens, so the test decides when a download ends.
#include "retrieval/background_downloads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/logger.h"
#include "feed/cleanup_options.h"
#include "retrieval/feed_cache.h"
#include "support/case_address.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"

namespace korvo {
namespace {

using test::Gate;
using test::LoopbackServer;
using test::Script;
using std::chrono::milliseconds;

// Only a hang guard: every wait below ends on an event long before.
constexpr milliseconds kHangGuard{20000};
constexpr int kInterval = limits::kDefaultUpdateInterval;

std::string rssAnswer(const std::string& title) {
  return test::httpAnswer("HTTP/1.0 200 OK", {"Content-Type: text/xml"},
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title +
                              "</title><item><title>" + title +
                              " item</title></item></channel></rss>");
}

// A cache, its downloads with the given budget, and a manual clock.
struct Fixture {
  explicit Fixture(int budgetMs) : downloads(cache, env, budgetMs) {}
  ManualClock clock;
  Environment env = [this] {
    Environment e;
    e.clock = &clock;
    return e;
  }();
  FeedCache cache{env};
  BackgroundDownloads downloads;

  // What a meter's first queries do: start the feed's download and, once
  // it has ended, apply it. False when it never ended.
  bool downloadAndApply(Feed& feed, const CleanupOptions& options) {
    downloads.refresh(feed, kInterval, options);
    if (!downloads.waitForFinished(kHangGuard)) return false;
    downloads.refresh(feed, kInterval, options);
    return true;
  }
};

class BackgroundDownloadsTest : public ::testing::Test {
 protected:
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }
  const CleanupOptions options_;
};

TEST_F(BackgroundDownloadsTest, BudgetZeroNeverWaitsAndTheNextQueryShowsTheResult) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), Script().waitFor(gate).send(rssAnswer("Fresh")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));

  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_FALSE(feed.state.hasData) << "returned before the server answered";
  EXPECT_EQ(f.downloads.inFlight(), 1u);

  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  EXPECT_EQ(feed.field("title"), "") << "a feed changes only when a query applies the result";

  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.field("title"), "Fresh");
  EXPECT_EQ(feed.itemField("itemtitle", 0), "Fresh item");
  EXPECT_EQ(f.downloads.inFlight(), 0u);
}

TEST_F(BackgroundDownloadsTest, AMeterWithNothingToShowWaitsForADownloadEndingWithinTheBudget) {
  auto gate = std::make_shared<Gate>();
  gate->open();
  LoopbackServer server(test::caseAddress(), Script().waitFor(gate).send(rssAnswer("Quick")));
  ASSERT_TRUE(server.ok()) << server.error();
  // A budget as long as the hang guard: the download ends well within it,
  // even under sanitizers, and the call returns as soon as it has.
  Fixture f(static_cast<int>(kHangGuard.count()));
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));

  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.field("title"), "Quick") << "shown by the same call";
}

TEST_F(BackgroundDownloadsTest, ABudgetRunsOutWhileTheServerHoldsItsAnswer) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), Script().waitFor(gate).send(rssAnswer("Late")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(250);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));

  const auto start = std::chrono::steady_clock::now();
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);
  EXPECT_FALSE(feed.state.hasData);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 1u) << "no second download of the same URL";

  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.field("title"), "Late");
  EXPECT_EQ(server.connections(), 1u);
}

TEST_F(BackgroundDownloadsTest, WaitingForTheWholeDownloadDownloadsOnTheCallingThread) {
  LoopbackServer server(test::caseAddress(), Script().send(rssAnswer("Today")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(BackgroundDownloads::kWaitWholeDownload);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));

  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.field("title"), "Today");
  EXPECT_EQ(f.downloads.inFlight(), 0u);
}

TEST_F(BackgroundDownloadsTest, ContentStaysUntilTheNextDownloadIsApplied) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), {Script().send(rssAnswer("Old")),
                                              Script().waitFor(gate).send(rssAnswer("New"))});
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(250);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  ASSERT_EQ(feed.field("title"), "Old");

  f.clock.advance(kInterval);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 1u);
  EXPECT_EQ(feed.field("title"), "Old") << "a meter with something to show never waits";

  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  EXPECT_EQ(feed.field("title"), "Old");
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.field("title"), "New");
  EXPECT_EQ(feed.errorText, "");
}

TEST_F(BackgroundDownloadsTest, AFailureShowsAtTheQueryAfterItAndIsRetriedAfterTheRetryDelay) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(),
                        {Script().send(rssAnswer("Good")),
                         Script().waitFor(gate).send("HTTP/1.0 500 Broken\r\n\r\n")});
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  ASSERT_EQ(feed.field("title"), "Good");

  f.clock.advance(kInterval);
  f.downloads.refresh(feed, kInterval, options_);
  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  EXPECT_EQ(feed.errorText, "") << "not applied yet";
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_NE(feed.errorText, "");
  EXPECT_TRUE(feed.state.errorPending);
  EXPECT_EQ(feed.field("title"), "Good") << "a failed download keeps what the feed showed";

  f.clock.advance(limits::kRetryDelaySeconds - 1);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 0u) << "not before the retry delay";
  f.clock.advance(1);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 1u);
}

TEST_F(BackgroundDownloadsTest, TwoMetersOfOneUrlShareOneDownload) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(),
                        Script().waitFor(gate).send(rssAnswer("<![CDATA[Shared <b>bold</b>]]>")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  CleanupOptions other;
  other.FilterHtml = !other.FilterHtml;

  f.downloads.refresh(feed, kInterval, options_);
  f.downloads.refresh(feed, kInterval, other);
  EXPECT_EQ(f.downloads.inFlight(), 1u);
  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  f.downloads.refresh(feed, kInterval, other);
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));  // other's variant, made by a worker
  f.downloads.refresh(feed, kInterval, other);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_NE(feed.field("title", options_), "");
  EXPECT_NE(feed.field("title", other), "");
  EXPECT_NE(feed.field("title", options_), feed.field("title", other));
  EXPECT_EQ(server.connections(), 1u);
}

std::string htmlTitleAnswer(const std::string& word) {
  return rssAnswer("<![CDATA[" + word + " <b>bold</b>]]>");
}

// The first meter's download is applied; the second meter's options differ,
// so its copy of the document is cleaned by a worker.
TEST_F(BackgroundDownloadsTest, AVariantIsMadeByAWorkerOncePerUrlAndOptions) {
  struct Case {
    const char* name;
    int budgetMs;
    bool shownBySameCall;
  };
  const Case cases[] = {
      {"budget 0: the call returns without it", 0, false},
      // As long as the hang guard: the parse ends well within it.
      {"a budget: the call waits for it", static_cast<int>(kHangGuard.count()), true},
  };
  int host = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackServer server(test::caseAddress(host++), Script().send(htmlTitleAnswer("Shared")));
    ASSERT_TRUE(server.ok()) << server.error();
    Fixture f(c.budgetMs);
    Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
    CleanupOptions other;
    other.FilterHtml = !other.FilterHtml;
    ASSERT_TRUE(f.downloadAndApply(feed, options_));
    ASSERT_NE(feed.field("title", options_), "");

    f.downloads.refresh(feed, kInterval, other);
    if (!c.shownBySameCall) {
      EXPECT_EQ(feed.cleanedChannel(other), nullptr) << "not parsed on the calling thread";
      EXPECT_EQ(feed.field("title", other), "");
      EXPECT_EQ(f.downloads.variantsInFlight(), 1u);
      ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
      EXPECT_EQ(feed.cleanedChannel(other), nullptr)
          << "a feed changes only when a query applies it";
      f.downloads.refresh(feed, kInterval, other);
    }
    EXPECT_EQ(f.downloads.variantsInFlight(), 0u);
    EXPECT_NE(feed.field("title", other), "");
    EXPECT_NE(feed.field("title", other), feed.field("title", options_));
    EXPECT_EQ(feed.variants.size(), 1u);
    f.downloads.refresh(feed, kInterval, other);
    EXPECT_EQ(f.downloads.variantsStarted(), 1) << "made once per download";
    EXPECT_EQ(server.connections(), 1u);
  }
}

// While the new document is held at the gate, three more held downloads
// take the other workers, so the variant of the old document waits in the
// queue until the gate opens: it ends after the new document arrives.
TEST_F(BackgroundDownloadsTest, AVariantOfADocumentADownloadReplacedIsDropped) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), {Script().send(htmlTitleAnswer("Old")),
                                              Script().waitFor(gate).send(htmlTitleAnswer("New"))});
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  CleanupOptions other;
  other.FilterHtml = !other.FilterHtml;
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  ASSERT_NE(feed.field("title", options_).find("Old"), std::string::npos);

  f.clock.advance(kInterval);
  f.downloads.refresh(feed, kInterval, options_);
  std::vector<std::unique_ptr<LoopbackServer>> blockers;
  for (int i = 1; i < BackgroundDownloads::kMaxWorkers; ++i) {
    blockers.push_back(std::make_unique<LoopbackServer>(
        test::caseAddress(i), Script().waitFor(gate).send(rssAnswer("Busy"))));
    ASSERT_TRUE(blockers.back()->ok()) << blockers.back()->error();
    f.downloads.refresh(f.cache.getOrCreate(blockers.back()->url("/feed.xml")), kInterval,
                        options_);
  }
  f.downloads.refresh(feed, kInterval, other);
  f.downloads.refresh(feed, kInterval, other);
  EXPECT_EQ(feed.cleanedChannel(other), nullptr);
  EXPECT_EQ(f.downloads.variantsInFlight(), 1u);
  EXPECT_EQ(f.downloads.variantsStarted(), 1) << "one job per URL and options";

  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  f.downloads.refresh(feed, kInterval, other);
  EXPECT_NE(feed.field("title", options_).find("New"), std::string::npos);
  EXPECT_EQ(feed.cleanedChannel(other), nullptr) << "the old document's variant is dropped";
  EXPECT_EQ(f.downloads.variantsInFlight(), 1u) << "and one of the new document asked for";
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  f.downloads.refresh(feed, kInterval, other);
  EXPECT_NE(feed.field("title", other).find("New"), std::string::npos);
  EXPECT_EQ(feed.variants.size(), 1u);
  EXPECT_EQ(f.downloads.variantsStarted(), 2);
  EXPECT_EQ(server.connections(), 2u);
}

TEST_F(BackgroundDownloadsTest, StopCancelsADownloadTheServerHolds) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), Script().waitFor(gate).send(rssAnswer("Never")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  f.downloads.refresh(feed, kInterval, options_);
  ASSERT_EQ(f.downloads.inFlight(), 1u);
  ASSERT_TRUE(server.waitForRequests(1, kHangGuard)) << "the worker waits for the answer";

  EXPECT_TRUE(f.downloads.stop(BackgroundDownloads::kStopWait)) << "every worker ended";
  EXPECT_EQ(f.downloads.inFlight(), 0u);
  EXPECT_FALSE(feed.state.hasData);

  // A new pool once the feed is due again.
  gate->open();
  f.clock.advance(limits::kRetryDelaySeconds);
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(feed.field("title"), "Never");
}

TEST_F(BackgroundDownloadsTest, AFeedWhoseDownloadStopDroppedIsTriedAgainAfterTheRetryDelay) {
  auto gate = std::make_shared<Gate>();
  LoopbackServer server(test::caseAddress(), {Script().send(rssAnswer("First")),
                                        Script().waitFor(gate).send(rssAnswer("Held")),
                                        Script().send(rssAnswer("Again"))});
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  ASSERT_EQ(feed.field("title"), "First");

  // Stale: the next query starts a download, which stop() drops.
  f.clock.advance(static_cast<std::uint32_t>(kInterval));
  f.downloads.refresh(feed, kInterval, options_);
  ASSERT_TRUE(server.waitForRequests(2, kHangGuard));
  EXPECT_TRUE(f.downloads.stop(BackgroundDownloads::kStopWait));
  gate->open();

  f.clock.advance(limits::kRetryDelaySeconds - 1);
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 0u) << "not due before the retry delay";
  EXPECT_EQ(feed.field("title"), "First") << "the old items stay";
  f.clock.advance(1);
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(feed.field("title"), "Again");
  EXPECT_EQ(server.connections(), 3u);
}

TEST_F(BackgroundDownloadsTest, WithoutAThreadADueFeedFailsAndIsNeverDownloadedOnTheCallersThread) {
  LoopbackServer server(test::caseAddress(), Script().send(rssAnswer("Here")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(250);
  bool refuse = true;
  f.downloads.startThread = [&](std::function<void()> body) {
    if (refuse) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return WorkerThread(std::move(body));
  };
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(feed.errorText, "No thread to download on.");
  EXPECT_FALSE(feed.state.hasData);
  EXPECT_EQ(f.downloads.inFlight(), 0u);
  EXPECT_EQ(server.connections(), 0u) << "nothing was downloaded on this thread";

  // Tried again after the retry delay, once a thread can be had.
  refuse = false;
  f.downloads.refresh(feed, kInterval, options_);
  EXPECT_EQ(f.downloads.inFlight(), 0u) << "not before the retry delay";
  f.clock.advance(limits::kRetryDelaySeconds);
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(feed.field("title"), "Here");
}

TEST_F(BackgroundDownloadsTest, AnIdleWorkerEndsAndTheNextDownloadStartsANewOne) {
  LoopbackServer server(test::caseAddress(), Script().send(rssAnswer("Again")));
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  f.downloads.setIdleLimit(milliseconds(1));
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  for (int round = 0; round < 3; ++round) {
    f.downloads.refresh(feed, kInterval, options_);
    ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard)) << round;
    ASSERT_TRUE(f.downloads.waitForIdleEnd(kHangGuard)) << "the idle worker ended, round " << round;
    EXPECT_EQ(f.downloads.workerCount(), 0);
    f.downloads.refresh(feed, kInterval, options_);
    EXPECT_EQ(feed.field("title"), "Again") << round;
    f.clock.advance(static_cast<std::uint32_t>(kInterval));
  }
  EXPECT_EQ(server.connections(), 3u);
  EXPECT_TRUE(f.downloads.stop(BackgroundDownloads::kStopWait));
}

TEST_F(BackgroundDownloadsTest, AtMostFourDownloadsRunAtOnce) {
  auto gate = std::make_shared<Gate>();
  std::vector<std::unique_ptr<LoopbackServer>> servers;
  Fixture f(0);
  std::vector<Feed*> feeds;
  for (int i = 0; i < 6; ++i) {
    servers.push_back(std::make_unique<LoopbackServer>(
        test::caseAddress(i), Script().waitFor(gate).send(rssAnswer("Many"))));
    ASSERT_TRUE(servers.back()->ok()) << servers.back()->error();
    feeds.push_back(&f.cache.getOrCreate(servers.back()->url("/feed.xml")));
    f.downloads.refresh(*feeds.back(), kInterval, options_);
  }
  EXPECT_EQ(f.downloads.inFlight(), 6u);
  EXPECT_EQ(f.downloads.workerCount(), BackgroundDownloads::kMaxWorkers);
  gate->open();
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  for (Feed* feed : feeds) {
    f.downloads.refresh(*feed, kInterval, options_);
    EXPECT_EQ(feed->field("title"), "Many") << feed->url;
  }
}

TEST_F(BackgroundDownloadsTest, TwentyDeadServersHoldNoQueryPastTheBudgetOfItsSecond) {
  constexpr int kBudgetMs = 250;
  constexpr int kMeters = 20;
  auto gate = std::make_shared<Gate>();  // opened only at the end: the servers never answer
  std::vector<std::unique_ptr<LoopbackServer>> servers;
  Fixture f(kBudgetMs);
  std::vector<Feed*> feeds;
  for (int i = 0; i < kMeters; ++i) {
    servers.push_back(std::make_unique<LoopbackServer>(
        test::caseAddress(i), Script().waitFor(gate).send(rssAnswer("Late"))));
    ASSERT_TRUE(servers.back()->ok()) << servers.back()->error();
    feeds.push_back(&f.cache.getOrCreate(servers.back()->url("/feed.xml")));
  }
  for (int query = 0; query < 100; ++query) {
    Feed& feed = *feeds[static_cast<std::size_t>(query % kMeters)];
    f.downloads.refresh(feed, kInterval, options_);
    EXPECT_FALSE(feed.state.hasData);
  }
  // The first wait ran to the end of the budget; once it is spent, no
  // query waits until it leaves the last second (wait_budget_test.cpp has
  // the exact account).
  const BackgroundDownloads::WaitTally& tally = f.downloads.waitTally();
  EXPECT_GE(tally.waits, 1);
  EXPECT_GE(tally.waited.count(), kBudgetMs) << "the first wait lasted its budget";
  EXPECT_LT(tally.waits, kMeters) << "most queries found the budget spent";
  EXPECT_EQ(f.downloads.inFlight(), static_cast<std::size_t>(kMeters));
  EXPECT_EQ(f.downloads.workerCount(), BackgroundDownloads::kMaxWorkers);
  EXPECT_TRUE(f.downloads.stop(BackgroundDownloads::kStopWait));
  gate->open();
  for (const auto& server : servers) EXPECT_LE(server->connections(), 1u) << server->url("/");
}

// A clock whose reading holds every thread but the test's until open():
// a worker busy in work that no cancel reaches.
class HeldClock final : public Clock {
 public:
  std::uint32_t now() const override {
    if (std::this_thread::get_id() != test_) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++held_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
    }
    return 1000000000u;
  }
  bool waitUntilHeld(milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_ > 0; });
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  const std::thread::id test_ = std::this_thread::get_id();
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable int held_ = 0;
  bool open_ = false;
};

TEST_F(BackgroundDownloadsTest, AWorkerThatCannotBeStoppedIsLeftOnlyWhenTheLibraryStaysLoaded) {
  struct Case {
    const char* name;
    bool keptLoaded;  // what onLingering answers
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {"kept loaded: left to end on its own",
       true,
       {"Shut-down: 1 download(s) could not be stopped; they end on their own\n",
        "Shut-down: the library stays loaded until they end\n"}},
      {"not kept loaded (an unload under way): waited for",
       false,
       {"Shut-down: waiting for 1 download(s) that could not be stopped\n"}},
  };
  LoopbackServer server(test::caseAddress(), Script().send(rssAnswer("Held")));
  ASSERT_TRUE(server.ok()) << server.error();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    ManualClock logClock;
    auto log = std::make_shared<Logger>(logClock);
    log->setEnabled(true);
    log->openLog(dir.path());
    auto clock = std::make_shared<HeldClock>();
    Environment env;
    env.clock = clock.get();
    env.log = log.get();
    // What the workers hold; its end says the last one has ended.
    std::promise<void> workersEnded;
    std::future<void> ended = workersEnded.get_future();
    auto keep = std::shared_ptr<const void>(
        new std::pair<std::shared_ptr<HeldClock>, std::shared_ptr<Logger>>(clock, log),
        [&workersEnded](const void* kept) {
          delete static_cast<const std::pair<std::shared_ptr<HeldClock>, std::shared_ptr<Logger>>*>(
              kept);
          workersEnded.set_value();
        });
    FeedCache cache(env);
    auto downloads = std::make_unique<BackgroundDownloads>(cache, env, 0, keep);
    keep.reset();
    Feed& feed = cache.getOrCreate(server.url("/feed.xml"));
    downloads->refresh(feed, kInterval, options_);
    ASSERT_TRUE(clock->waitUntilHeld(kHangGuard)) << "the worker is held";

    bool lingered = false;
    // The held worker stands for work that does not end within any wait.
    downloads->uncancellableWait = milliseconds(50);
    downloads->onLingering = [&] {
      lingered = true;
      // Not kept loaded: the worker goes on at once, and stop() waits for it.
      if (!c.keptLoaded) clock->open();
      return c.keptLoaded;
    };
    EXPECT_FALSE(downloads->stop(milliseconds(50))) << "it did not end within the wait";
    EXPECT_TRUE(lingered);
    downloads.reset();  // now only a worker still running holds keep
    if (c.keptLoaded) {
      EXPECT_EQ(ended.wait_for(milliseconds(0)), std::future_status::timeout)
          << "left running, not waited for";
      clock->open();
    } else {
      EXPECT_EQ(ended.wait_for(milliseconds(0)), std::future_status::ready)
          << "joined before stop() returned";
    }
    ASSERT_EQ(ended.wait_for(kHangGuard), std::future_status::ready);
    log->closeLog();
    const std::string text = test::readWholeFile(dir.file("Korvolog.txt"));
    for (const std::string& line : c.logged) EXPECT_NE(text.find(line), std::string::npos) << text;
  }
}

// A download a worker made is compared with what the feed held when it is
// applied: the item it brings anew is marked, in the variant a worker
// cleans for other options too; "not modified" clears the marks.
TEST_F(BackgroundDownloadsTest, AppliedDownloadsMarkTheItemsTheyBringAnew) {
  const auto answer = [](const std::vector<std::string>& titles, const std::string& etag) {
    std::string items;
    for (const std::string& t : titles) items += "<item><title>" + t + "</title></item>";
    return Script().send(test::httpAnswer(
        "HTTP/1.0 200 OK", {"ETag: " + etag},
        "<rss version=\"2.0\"><channel><title>T</title>" + items + "</channel></rss>"));
  };
  LoopbackServer server(test::caseAddress(),
                        {answer({"a&lt;b&gt;"}, "\"1\""), answer({"new", "a&lt;b&gt;"}, "\"2\""),
                         Script().send("HTTP/1.1 304 Not Modified\r\n\r\n")});
  ASSERT_TRUE(server.ok()) << server.error();
  Fixture f(0);
  Feed& feed = f.cache.getOrCreate(server.url("/feed.xml"));
  CleanupOptions raw;
  raw.FilterHtml = false;
  const auto marks = [&](const CleanupOptions& options) {
    std::vector<bool> marks;
    for (const FeedItem& item : feed.cleanedChannel(options)->items) marks.push_back(item.isNew);
    return marks;
  };
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(marks(options_), std::vector<bool>{false});
  f.clock.advance(kInterval);
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(marks(options_), (std::vector<bool>{true, false}));
  f.downloads.refresh(feed, kInterval, raw);
  ASSERT_TRUE(f.downloads.waitForFinished(kHangGuard));
  f.downloads.refresh(feed, kInterval, raw);
  ASSERT_EQ(feed.itemField("itemtitle", 1, raw), "a<b>");
  EXPECT_EQ(marks(raw), (std::vector<bool>{true, false}));
  f.clock.advance(kInterval);
  ASSERT_TRUE(f.downloadAndApply(feed, options_));
  EXPECT_EQ(feed.itemField("itemtitle", 0, options_), "new");
  EXPECT_EQ(marks(options_), (std::vector<bool>{false, false}));
  EXPECT_EQ(marks(raw), (std::vector<bool>{false, false}));
}

}  // namespace
}  // namespace korvo
