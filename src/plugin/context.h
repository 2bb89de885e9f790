#pragma once
// The process-wide state of the plug-in: made at library attach, destroyed
// at detach, reached through context(). Nothing else is process-wide.
#include <memory>
#include <string_view>

#include "base/environment.h"
#include "base/logger.h"
#include "meters/meter.h"
#include "meters/meter_registry.h"
#include "meters/plugin_settings.h"
#include "plugin/result_buffer.h"
#include "retrieval/background_downloads.h"
#include "retrieval/feed_cache.h"

namespace korvo {

class Context {
 public:
  // Attach: the HTTPS stack set up, registry, then settings located and
  // read, then the log opened and "DLLMain()" written. The download
  // workers start on first need; the disk cache (DiskCache) is made here
  // and touches no file until a worker uses it.
  Context();
  // Detach: downloads stopped, feeds dropped, switches written back, settings and meters
  // destroyed, log closed last.
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  MeterRegistry& registry() { return *registry_; }
  PluginSettings& settings() { return *settings_; }
  Logger& logger() { return *logger_; }
  FeedCache& cache() { return cache_; }
  BackgroundDownloads& downloads() { return *downloads_; }
  const MeterEnv& meterEnv() const { return meterEnv_; }
  ResultBuffer& result() { return *result_; }

  // Copies text (cut to 32767 bytes) into the result buffer and returns it.
  const char* publish(std::string_view text);

 private:
  // Shared with download workers, which may outlive the context.
  std::shared_ptr<MovedFeeds> moved_;
  Environment env_;
  // Null when DiskCache is off or downloads run on the host's thread.
  std::shared_ptr<DiskCache> diskCache_;
  FeedCache cache_{env_};
  std::unique_ptr<BackgroundDownloads> downloads_;
  std::unique_ptr<ResultBuffer> result_;
  std::unique_ptr<MeterRegistry> registry_;
  std::unique_ptr<PluginSettings> settings_;
  std::shared_ptr<Logger> logger_;
  MeterEnv meterEnv_;
};

// The live context, or null outside attach..detach.
Context* context();

}  // namespace korvo
