#include "retrieval/background_downloads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "feed/feed_parser.h"
#include "retrieval/feed_refresh.h"

namespace korvo {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

struct BackgroundDownloads::Shared {
  struct Job {
    std::unique_ptr<Feed> feed;  // the private copy a worker fills
    CleanupOptions options;
    bool parsed = false;   // the copy's channel replaces the feed's
    bool fromDisk = false;  // try the stored copy before the network
    bool early = false;     // the stored copy, shown while the download goes on
    // Not a download: feed holds a copy of the kept document, to be
    // cleaned with options into a variant.
    bool variant = false;
  };

  Shared(const Environment& workerEnv, std::shared_ptr<const void> keep,
         std::shared_ptr<DiskCache> disk, Milliseconds idle)
      : env(workerEnv), keepAlive(std::move(keep)), diskCache(std::move(disk)), idleLimit(idle) {
    env.cancel = &cancel;
    idleEnded.reserve(kMaxWorkers);  // never more await their join
  }

  std::atomic<bool> cancel{false};
  Environment env;  // of every private copy
  std::shared_ptr<const void> keepAlive;
  std::shared_ptr<DiskCache> diskCache;  // null: none
  const Milliseconds idleLimit;

  std::mutex mutex;
  std::condition_variable work;      // a job queued, or stopping
  std::condition_variable finished;  // a job done, or a worker ended
  std::deque<Job> queue;             // waiting for a worker
  std::vector<Job> done;             // finished, not yet taken by the host
  std::atomic<std::size_t> doneCount{0};
  int idle = 0;
  int running = 0;
  // Workers in work that no cancel reaches but that ends on its own in
  // bounded time (a parse, the disk copy's write): stop() does not wait
  // for them.
  int uncancellable = 0;
  std::vector<int> idleEnded;  // workers that ended after being idle, to be joined
  bool stopping = false;
};

namespace {

// The stored copy of job's URL parsed into a new private copy, to be shown
// while job's download goes on; job's copy is made to ask the server with
// the stored validators. Null, job unchanged, when there is no stored copy
// or it does not parse.
std::unique_ptr<Feed> showStored(BackgroundDownloads::Shared& s,
                                 BackgroundDownloads::Shared::Job& job) {
  std::optional<StoredCopy> stored = s.diskCache->load(job.feed->url);
  if (!stored) return nullptr;
  auto shown = std::make_unique<Feed>(job.feed->url, s.env);
  shown->isRdf = stored->isRdf;
  shown->isAtom = stored->isAtom;
  shown->documentUrl = stored->finalUrl;
  std::string body = stored->body;
  if (!convertAndParse(*shown, body, job.options, stored->charset)) return nullptr;
  shown->state = job.feed->state;
  shown->state.setHasData(true);
  shown->etag = stored->etag;
  shown->lastModified = stored->lastModified;
  shown->cleanup = job.options;
  // The copy on disk keeps no Content-Language: a language from the
  // answer comes back with the next whole download.
  shown->raw = RawDocument{std::move(stored->body), stored->isRdf, stored->isAtom,
                           stored->charset,         stored->finalUrl, std::string()};
  Feed& asking = *job.feed;
  asking.etag = std::move(stored->etag);
  asking.lastModified = std::move(stored->lastModified);
  asking.isRdf = stored->isRdf;
  asking.isAtom = stored->isAtom;
  asking.state.setHasData(true);
  asking.state.setFirstRun(false);
  return shown;
}

// Marks the calling worker as busy in work that no cancel reaches (on), or
// as back in work that looks at the cancel flag; work() clears a mark left
// on when it hands the job in.
void markUncancellable(BackgroundDownloads::Shared& s, bool& marked, bool on = true) {
  if (marked == on) return;
  std::lock_guard<std::mutex> lock(s.mutex);
  s.uncancellable += on ? 1 : -1;
  marked = on;
  s.finished.notify_all();
}

// job's download, with the stored copy first when job asks for it (handed
// to the host at once, ahead of the download) and the outcome recorded in
// the disk cache.
void download(BackgroundDownloads::Shared& s, BackgroundDownloads::Shared::Job& job,
              bool& uncancellable) {
  const auto parsing = [&] { markUncancellable(s, uncancellable); };
  DiskCache* disk = s.diskCache.get();
  if (disk == nullptr) {
    job.parsed = fetchAndParse(*job.feed, job.options, nullptr, parsing);
    return;
  }
  std::unique_ptr<Feed> early;
  if (job.fromDisk) {
    markUncancellable(s, uncancellable);
    try {
      early = showStored(s, job);
    } catch (...) {
      // Out of memory: the download goes on as an ordinary one.
      early.reset();
    }
    markUncancellable(s, uncancellable, false);
  }
  if (early) {
    // The host shows the stored items now, not after the download.
    std::lock_guard<std::mutex> lock(s.mutex);
    BackgroundDownloads::Shared::Job shown{std::move(early), job.options, true, false, true};
    s.done.push_back(std::move(shown));
    s.doneCount.fetch_add(1, std::memory_order_release);
    s.finished.notify_all();
  }
  DownloadFacts facts;
  Feed& feed = *job.feed;
  job.parsed = fetchAndParse(feed, job.options, &facts, parsing);
  if (s.cancel.load()) return;
  try {
    if (job.parsed && !feed.raw.body.empty()) {
      disk->store(StoredCopy{feed.url, std::move(facts.finalUrl), feed.etag, feed.lastModified,
                             std::move(facts.charset), feed.isRdf, feed.isAtom, 0, feed.raw.body});
    } else if (!job.parsed) {
      disk->markUsed(feed.url);
    }
  } catch (...) {
    // Out of memory: the copy on disk stays as it was; the download counts.
  }
}

void work(const std::shared_ptr<BackgroundDownloads::Shared>& shared, int id) {
  BackgroundDownloads::Shared& s = *shared;
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    if (s.queue.empty() && !s.stopping) {
      // Without an idle limit the worker ends under the same lock that
      // handed in its last job: whoever takes that job can join it.
      bool woken = false;
      if (s.idleLimit > Milliseconds(0)) {
        ++s.idle;
        woken = s.work.wait_for(lock, s.idleLimit, [&] { return s.stopping || !s.queue.empty(); });
        --s.idle;
      }
      if (!woken && !s.stopping) {
        // On Windows a worker holds the library while it runs: one with
        // nothing to do ends, so that a host's unload is not held up.
        s.idleEnded.push_back(id);
        break;
      }
    }
    if (s.stopping) break;
    BackgroundDownloads::Shared::Job job = std::move(s.queue.front());
    s.queue.pop_front();
    lock.unlock();
    bool uncancellable = false;
    try {
      if (job.variant) {
        markUncancellable(s, uncancellable);
        addVariant(*job.feed, job.options);
      } else {
        download(s, job, uncancellable);
      }
    } catch (...) {
      // Out of memory: the copy holds whatever it got; the failure shows as
      // no new data.
      job.feed->state.setErrorPending(true);
      job.feed->state.stampError(job.feed->env().clock->now());
    }
    lock.lock();
    if (uncancellable) --s.uncancellable;
    s.done.push_back(std::move(job));
    s.doneCount.fetch_add(1, std::memory_order_release);
    s.finished.notify_all();
  }
  --s.running;
  s.finished.notify_all();
}

// The outcome of a download into its private copy, brought into the feed:
// what fetchAndParse would have left there.
void applyCopy(Feed& feed, Feed& copy, bool parsed) {
  const bool firstRun = feed.state.firstRun;
  const bool hadData = feed.state.hasData;
  feed.state = copy.state;
  feed.state.setFirstRun(firstRun);
  feed.lastModified = std::move(copy.lastModified);
  feed.etag = std::move(copy.etag);
  feed.isRdf = copy.isRdf;
  feed.isAtom = copy.isAtom;
  feed.encoding = std::move(copy.encoding);
  if (parsed) feed.documentUrl = std::move(copy.documentUrl);
  feed.errorText = std::move(copy.errorText);
  if (!parsed) {
    if (feed.state.notModified) feed.clearNewMarks();
    return;
  }
  // The copy was parsed without the items the feed shows: they are here.
  if (hadData) {
    const Channel* before = feed.cleanedChannel(copy.cleanup);
    markNewItems(copy.channel, before ? *before : feed.channel);
  }
  feed.clearChannel();
  feed.channel = std::move(copy.channel);
  feed.cleanup = copy.cleanup;
  feed.variants = std::move(copy.variants);
  feed.raw = std::move(copy.raw);
}

}  // namespace

BackgroundDownloads::BackgroundDownloads(FeedCache& cache, const Environment& workerEnv,
                                         int budgetMs, std::shared_ptr<const void> keepAlive,
                                         std::shared_ptr<DiskCache> diskCache)
    : cache_(cache),
      workerEnv_(workerEnv),
      budgetMs_(budgetMs),
      keepAlive_(std::move(keepAlive)),
      diskCache_(budgetMs == kWaitWholeDownload ? nullptr : std::move(diskCache)),
      budget_(Milliseconds(std::max(0, budgetMs))) {}

BackgroundDownloads::~BackgroundDownloads() { stop(kStopWait); }

void BackgroundDownloads::refresh(Feed& feed, int updateInterval, const CleanupOptions& options) {
  applyFinished();
  if (budgetMs_ == kWaitWholeDownload) return korvo::refresh(feed, updateInterval, options);
  RefreshState& state = feed.state;
  state.setNotModified(false);
  const bool downloading =
      !inFlight_.empty() && std::find(inFlight_.begin(), inFlight_.end(), feed.url) != inFlight_.end();
  if (!downloading && state.isDue(updateInterval, feed.env().clock->now())) {
    if (!start(feed, options)) {
      // Downloading here would hold the host's thread past the budget:
      // the feed fails now and is tried again after the retry delay.
      feed.setError("No thread to download on.");
      state.setErrorPending(true);
      state.stampError(feed.env().clock->now());
    } else if (!state.hasData) {
      waitFor(feed.url);
    }
  } else if (downloading && !state.hasData) {
    waitFor(feed.url);
  }
  state.setFirstRun(false);
  if (state.hasData && options != feed.cleanup) requestVariant(feed, options);
}

void BackgroundDownloads::requestVariant(Feed& feed, const CleanupOptions& options) {
  if (feed.cleanedChannel(options)) return;
  const auto same = [&](const VariantJob& v) { return v.url == feed.url && v.options == options; };
  if (std::find_if(variantsInFlight_.begin(), variantsInFlight_.end(), same) !=
      variantsInFlight_.end())
    return waitFor(feed.url, &options);
  // Without a document there is nothing to parse: addVariant records an
  // empty variant at once.
  if (feed.raw.body.empty()) return addVariant(feed, options);
  if (!shared_) shared_ = std::make_shared<Shared>(workerEnv_, keepAlive_, diskCache_, idleLimit_);
  joinIdleEnded();
  auto copy = std::make_unique<Feed>(feed.url, shared_->env);
  copy->cleanup = feed.cleanup;  // differs from options: addVariant parses
  copy->raw = feed.raw;
  variantsInFlight_.push_back(VariantJob{feed.url, options});
  Shared::Job job{std::move(copy), options, false, false, false};
  job.variant = true;
  if (!enqueue(std::move(job))) {
    variantsInFlight_.pop_back();
    return addVariant(feed, options);
  }
  ++variantsStarted_;
  waitFor(feed.url, &options);
}

bool BackgroundDownloads::start(Feed& feed, const CleanupOptions& options) {
  if (!shared_) shared_ = std::make_shared<Shared>(workerEnv_, keepAlive_, diskCache_, idleLimit_);
  joinIdleEnded();
  auto copy = std::make_unique<Feed>(feed.url, shared_->env);
  copy->state = feed.state;
  copy->lastModified = feed.lastModified;
  copy->etag = feed.etag;
  copy->isRdf = feed.isRdf;
  copy->isAtom = feed.isAtom;
  copy->encoding = feed.encoding;
  const bool fromDisk =
      diskCache_ && !feed.state.hasData && diskTried_.find(feed.url) == diskTried_.end();
  if (fromDisk) diskTried_.insert(feed.url);
  inFlight_.push_back(feed.url);
  if (enqueue(Shared::Job{std::move(copy), options, false, fromDisk, false})) return true;
  inFlight_.pop_back();
  if (fromDisk) diskTried_.erase(feed.url);
  return false;
}

template <typename Job>
bool BackgroundDownloads::enqueue(Job job) {
  Shared& s = *shared_;
  std::lock_guard<std::mutex> lock(s.mutex);
  s.queue.push_back(std::move(job));
  if (static_cast<int>(s.queue.size()) <= s.idle || s.running == kMaxWorkers) {
    s.work.notify_one();
    return true;
  }
  try {
    const int id = nextWorkerId_++;
    workers_.reserve(workers_.size() + 1);
    workers_.push_back(Worker{id, startThread([shared = shared_, id] { work(shared, id); })});
    ++s.running;
    return true;
  } catch (...) {
    // No thread to be had: a worker already running takes the job later;
    // without one, the caller does the work.
    if (s.running > 0) return true;
    s.queue.pop_back();
    return false;
  }
}

void BackgroundDownloads::joinIdleEnded() {
  joinLeftEnded();
  if (!shared_) return;
  std::vector<int> ended;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->idleEnded.empty()) return;
    ended.swap(shared_->idleEnded);
  }
  for (int id : ended) {
    const auto worker =
        std::find_if(workers_.begin(), workers_.end(), [&](const Worker& w) { return w.id == id; });
    if (worker == workers_.end()) continue;
    worker->thread.join();  // past its last lock: it is ending
    workers_.erase(worker);
  }
}

int BackgroundDownloads::workerCount() const {
  if (!shared_) return 0;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->running;
}

bool BackgroundDownloads::waitForIdleEnd(std::chrono::milliseconds timeout) {
  if (!shared_) return true;
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  return s.finished.wait_for(lock, timeout, [&] { return s.running == 0; });
}

void BackgroundDownloads::applyFinished() {
  if (!shared_ || shared_->doneCount.load(std::memory_order_acquire) == 0) return;
  std::vector<Shared::Job> done;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    done.swap(shared_->done);
    shared_->doneCount.store(0, std::memory_order_relaxed);
  }
  // A worker that handed in its last job has ended with it: once its
  // result shows, no thread of the pool is left holding the library.
  joinIdleEnded();
  // Downloads first: a variant made from a document that a download in
  // the same batch replaces is out of date.
  std::stable_partition(done.begin(), done.end(),
                        [](const Shared::Job& job) { return !job.variant; });
  for (Shared::Job& job : done) {
    Feed& copy = *job.feed;
    if (job.variant) {
      applyVariant(job.options, copy);
      continue;
    }
    const auto started = std::find(inFlight_.begin(), inFlight_.end(), copy.url);
    if (started != inFlight_.end() && !job.early) inFlight_.erase(started);
    Feed* feed = cache_.find(copy.url);
    if (feed == nullptr) continue;
    applyCopy(*feed, copy, job.parsed);
  }
}

void BackgroundDownloads::applyVariant(const CleanupOptions& options, Feed& copy) {
  const auto same = [&](const VariantJob& v) { return v.url == copy.url && v.options == options; };
  const auto started = std::find_if(variantsInFlight_.begin(), variantsInFlight_.end(), same);
  if (started != variantsInFlight_.end()) variantsInFlight_.erase(started);
  Feed* feed = cache_.find(copy.url);
  // Out of memory on the worker leaves no variant; the next query asks again.
  if (feed == nullptr || copy.variants.empty() || feed->cleanedChannel(options)) return;
  const RawDocument& now = feed->raw;
  const RawDocument& read = copy.raw;
  if (now.body != read.body || now.isRdf != read.isRdf || now.isAtom != read.isAtom ||
      now.charset != read.charset || now.documentUrl != read.documentUrl)
    return;
  feed->keepVariant(std::move(copy.variants.back()));
}

void BackgroundDownloads::waitFor(const std::string& url, const CleanupOptions* variant) {
  if (budgetMs_ <= 0 || !shared_) return;
  const SteadyClock::time_point now = SteadyClock::now();
  const SteadyClock::duration left = budget_.allowance(now);
  if (left <= SteadyClock::duration::zero()) return;
  ++tally_.waits;
  {
    Shared& s = *shared_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.finished.wait_until(lock, now + left, [&] {
      return std::any_of(s.done.begin(), s.done.end(), [&](const Shared::Job& job) {
        return job.feed->url == url && job.variant == (variant != nullptr) &&
               (!variant || job.options == *variant);
      });
    });
  }
  const SteadyClock::time_point end = SteadyClock::now();
  budget_.record(now, end);
  tally_.waited += std::chrono::duration_cast<Milliseconds>(end - now);
  tally_.busiestSecond = std::chrono::duration_cast<Milliseconds>(budget_.busiestWindow());
  applyFinished();
}

bool BackgroundDownloads::waitForFinished(std::chrono::milliseconds timeout) {
  if (!shared_) return true;
  Shared& s = *shared_;
  std::unique_lock<std::mutex> lock(s.mutex);
  return s.finished.wait_for(lock, timeout, [&] {
    return std::all_of(inFlight_.begin(), inFlight_.end(),
                       [&](const std::string& url) {
                         return std::any_of(
                             s.done.begin(), s.done.end(), [&](const Shared::Job& job) {
                               return !job.early && !job.variant && job.feed->url == url;
                             });
                       }) &&
           std::all_of(
               variantsInFlight_.begin(), variantsInFlight_.end(), [&](const VariantJob& v) {
                 return std::any_of(s.done.begin(), s.done.end(), [&](const Shared::Job& job) {
                   return job.variant && job.feed->url == v.url && job.options == v.options;
                 });
               });
  });
}

void BackgroundDownloads::joinLeftEnded() {
  for (auto it = left_.begin(); it != left_.end();) {
    bool ended = false;
    {
      std::lock_guard<std::mutex> lock(it->shared->mutex);
      ended = it->shared->running == 0;
    }
    if (!ended) {
      ++it;
      continue;
    }
    for (Worker& worker : it->workers) worker.thread.join();  // past their last lock
    it = left_.erase(it);
  }
}

bool BackgroundDownloads::stop(std::chrono::milliseconds wait, bool join) {
  // Feeds whose download is dropped are tried again after the retry delay,
  // like a failed download.
  for (const std::string& url : inFlight_) {
    if (Feed* feed = cache_.find(url)) {
      feed->state.setErrorPending(true);
      feed->state.stampError(feed->env().clock->now());
    }
  }
  inFlight_.clear();
  variantsInFlight_.clear();
  // A job dropped from the queue never read its stored copy.
  diskTried_.clear();
  if (!shared_) return stopLeft(join);
  std::shared_ptr<Shared> shared = std::move(shared_);
  int running = 0;
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->stopping = true;
    shared->cancel = true;
    shared->queue.clear();
    shared->work.notify_all();
    const auto cancellableEnded = [&] { return shared->running == shared->uncancellable; };
    shared->finished.wait_for(lock, wait, cancellableEnded);
    // Work that no cancel reaches (a parse) ends on its own in bounded
    // time: it is waited for here, where no loader lock is held, rather
    // than by the unload, which runs under the loader lock on Linux (a
    // parse that loads a converter then needs that lock).
    if (join && shared->uncancellable > 0) {
      workerEnv_.writeLine("Shut-down: waiting for " + std::to_string(shared->uncancellable) +
                           " download(s) busy parsing");
      shared->finished.wait_for(lock, uncancellableWait,
                                [&] { return shared->uncancellable == 0; });
      // A worker whose parse ended sees the stop and ends.
      shared->finished.wait_for(lock, wait, cancellableEnded);
    }
    running = shared->running;
  }
  const bool ended = running == 0;
  const bool kept = !ended && onLingering && onLingering();
  if (kept || (!ended && !join)) {
    workerEnv_.writeLine("Shut-down: " + std::to_string(running) +
                         " download(s) could not be stopped; they end on their own");
    if (kept) workerEnv_.writeLine("Shut-down: the library stays loaded until they end");
  } else if (!ended) {
    // Nothing keeps the library loaded for them: the code they run must
    // not go while they run it.
    workerEnv_.writeLine("Shut-down: waiting for " + std::to_string(running) +
                         " download(s) that could not be stopped");
  }
  if (kept && join) {
    // Joined once they have ended: by a later start or stop, at the latest
    // by the one at unload.
    left_.push_back(Left{shared, std::move(workers_)});
  } else {
    for (Worker& worker : workers_) {
      if (join && !kept)
        worker.thread.join();
      else
        worker.thread.detach();
    }
  }
  workers_.clear();
  return stopLeft(join) && ended;
}

bool BackgroundDownloads::stopLeft(bool join) {
  if (!join) {
    for (Left& left : left_)
      for (Worker& worker : left.workers) worker.thread.detach();
    left_.clear();
    return true;
  }
  joinLeftEnded();
  if (left_.empty() || (onLingering && onLingering())) return true;
  int running = 0;
  for (const Left& left : left_) {
    std::lock_guard<std::mutex> lock(left.shared->mutex);
    running += left.shared->running;
  }
  workerEnv_.writeLine("Shut-down: waiting for " + std::to_string(running) +
                       " download(s) left running at an earlier stop");
  for (Left& left : left_)
    for (Worker& worker : left.workers) worker.thread.join();
  left_.clear();
  return true;
}

}  // namespace korvo
