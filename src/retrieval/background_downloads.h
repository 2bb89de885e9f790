#pragma once
// Downloads off the host's thread. Due feeds are downloaded and parsed by a
// small pool of worker threads (at most kMaxWorkers, started on first need,
// each ending once it has nothing to do (after limits::kWorkerIdleMs); never
// two downloads of one URL at a time) into private copies; the host's
// thread applies finished copies to the feeds of the cache when a refresh
// starts, so a Feed is only ever changed on the host's thread. A refresh
// waits for a download only when its feed has nothing to show yet, and all
// refreshes together wait at most the budget within any 1000 ms.
//
// Everything but the constructor's environment is host-thread only. The
// workers' environment (its log, clock, moved feeds) must stay usable from
// any thread while a worker runs; keepAlive is held by each worker until it
// ends, so a worker left running past stop() keeps what it uses alive.
//
// With a disk cache, the workers alone use it (its file I/O never runs on
// the host's thread): the first download of a feed without data since the last stop()
// first shows the stored copy (applied like a finished download), then asks
// the server with the copy's validators; a download that parses is stored,
// a "not modified" or a failure marks the copy as used.
//
// The kept document of a feed cleaned with other options than its channel's
// (a variant) is made by a worker too, from a copy of the document; the
// result is added to the feed only while the feed still keeps that same
// document and has no variant for those options.
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/limits.h"
#include "feed/cleanup_options.h"
#include "platform/worker_thread.h"
#include "retrieval/disk_cache.h"
#include "retrieval/feed_cache.h"
#include "retrieval/wait_budget.h"

namespace korvo {

class BackgroundDownloads {
 public:
  static constexpr int kMaxWorkers = 4;
  static constexpr int kWaitWholeDownload = -1;  // budget: download on the host's thread
  static constexpr int kDefaultBudgetMs = 250;

  // cache must outlive this object. workerEnv is copied; its cancel hook
  // is replaced by the pool's own.
  // diskCache (may be null) is shared with the workers, which may outlive
  // this object; it is never used with the budget kWaitWholeDownload.
  BackgroundDownloads(FeedCache& cache, const Environment& workerEnv, int budgetMs,
                      std::shared_ptr<const void> keepAlive = nullptr,
                      std::shared_ptr<DiskCache> diskCache = nullptr);
  // stop(kStopWait).
  ~BackgroundDownloads();
  BackgroundDownloads(const BackgroundDownloads&) = delete;
  BackgroundDownloads& operator=(const BackgroundDownloads&) = delete;

  // What refresh(feed, updateInterval, options) does, with the download
  // on a worker (or, with the budget kWaitWholeDownload, on this thread).
  // feed must be one of the cache's.
  void refresh(Feed& feed, int updateInterval, const CleanupOptions& options);
  // Applies every finished download to its feed (a feed no longer in the
  // cache drops it). Costs one atomic read when none has finished.
  void applyFinished();

  // Cancels the downloads in flight and waits at most `wait` for the
  // workers to end; workers busy in work that no cancel reaches but that
  // ends on its own (a parse) are not waited for. Workers still running
  // then (in such work, or in a name lookup on Windows) are left to end on
  // their own when onLingering says so, and the log says so; a later
  // start() or stop() joins them once they have ended, and a stop() for
  // which onLingering says no waits for them. Otherwise they are waited for
  // after all. False when a worker is left running.
  // join false: no thread is joined, every worker is left to end on its own
  // (where the caller may not wait for a thread, such as under a loader
  // lock). Feeds that were being downloaded become due again after the
  // retry delay. The next download starts a new pool.
  bool stop(std::chrono::milliseconds wait, bool join = true);
  static constexpr std::chrono::milliseconds kStopWait{800};
  // How long stop() (joining) waits, after `wait`, for work that no cancel
  // reaches but that ends on its own (a parse).
  std::chrono::milliseconds uncancellableWait{limits::kUncancellableWaitMs};
  // Called by stop() when a worker could not be ended within the wait:
  // true when it may go on after stop() returns, the library staying loaded
  // until it ends (null: false).
  std::function<bool()> onLingering;
  // Starts a worker thread; throws as WorkerThread's constructor does when
  // no thread can be had (tests put a failing one here). A due feed that
  // gets no worker fails ("No thread to download on.") and is tried again
  // after the retry delay: it is never downloaded on the calling thread.
  std::function<WorkerThread(std::function<void()>)> startThread =
      [](std::function<void()> body) { return WorkerThread(std::move(body)); };

  // Waits up to timeout until every download and variant started has finished (not
  // applied: the next refresh applies them); true when they all have.
  bool waitForFinished(std::chrono::milliseconds timeout);

  int budgetMs() const { return budgetMs_; }
  // The waits of refreshes for a download, since construction: how many
  // began, how long they lasted in all, and the most of it within any
  // 1000 ms.
  struct WaitTally {
    int waits = 0;
    std::chrono::milliseconds waited{0};
    std::chrono::milliseconds busiestSecond{0};
  };
  const WaitTally& waitTally() const { return tally_; }
  // Downloads started and not yet applied.
  std::size_t inFlight() const { return inFlight_.size(); }
  // Variants being made and not yet applied.
  std::size_t variantsInFlight() const { return variantsInFlight_.size(); }
  // Variants handed to workers since construction.
  int variantsStarted() const { return variantsStarted_; }
  // Worker threads running now.
  int workerCount() const;
  // How long a worker stays idle before it ends (limits::kWorkerIdleMs);
  // set it before the first download (or after a stop()).
  void setIdleLimit(std::chrono::milliseconds limit) { idleLimit_ = limit; }
  // Waits up to timeout until no worker runs (idle workers end after the
  // idle limit); true when none does.
  bool waitForIdleEnd(std::chrono::milliseconds timeout);

  struct Shared;  // the state workers share with this object

 private:
  // Queues the download of feed; false when no worker could be started.
  bool start(Feed& feed, const CleanupOptions& options);
  // Makes sure feed's document cleaned with options is there or being made
  // by a worker, and waits for it within the budget.
  void requestVariant(Feed& feed, const CleanupOptions& options);
  // Queues job (a Shared::Job) for a worker; false, job dropped, when no
  // worker could be started and none runs.
  template <typename Job>
  bool enqueue(Job job);
  // Waits until url's download (with variant: url's variant for those
  // options) has finished or the budget that the last second left is spent.
  void waitFor(const std::string& url, const CleanupOptions* variant = nullptr);
  // Adds the variant a worker made in copy to its feed, unless the feed
  // keeps another document now or already has a variant for options.
  void applyVariant(const CleanupOptions& options, Feed& copy);
  // Joins the workers that ended after being idle, and those left running
  // by an earlier stop() that have ended since.
  void joinIdleEnded();
  void joinLeftEnded();
  // stop() for the workers an earlier stop() left running.
  bool stopLeft(bool join);

  FeedCache& cache_;
  Environment workerEnv_;
  int budgetMs_;
  std::shared_ptr<const void> keepAlive_;
  std::shared_ptr<DiskCache> diskCache_;
  std::set<std::string, std::less<>> diskTried_;  // URLs whose stored copy was asked for
  std::shared_ptr<Shared> shared_;  // null until the first download, and after stop()
  std::chrono::milliseconds idleLimit_{limits::kWorkerIdleMs};
  struct Worker {
    int id;
    WorkerThread thread;
  };
  std::vector<Worker> workers_;
  // Workers an earlier stop() left running, with the state they share.
  struct Left {
    std::shared_ptr<Shared> shared;
    std::vector<Worker> workers;
  };
  std::vector<Left> left_;
  int nextWorkerId_ = 0;
  std::vector<std::string> inFlight_;  // URLs started and not yet applied
  struct VariantJob {
    std::string url;
    CleanupOptions options;
  };
  std::vector<VariantJob> variantsInFlight_;  // started and not yet applied
  int variantsStarted_ = 0;
  WaitBudget budget_;
  WaitTally tally_;
};

}  // namespace korvo
