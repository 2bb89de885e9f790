#include "plugin/context.h"

#include "plugin/attach.h"
#include "platform/module_path.h"
#include "platform/https_client.h"
#include "platform/ini_file.h"
#include "platform/shell.h"

namespace korvo {
namespace {

Context* gContext = nullptr;

// The disk cache with the environment it uses, which live as long as the
// last worker that holds them.
struct DiskCopies {
  DiskCopies(std::string folder, const Environment& environment)
      : env(environment), cache(std::move(folder), env) {}
  Environment env;
  DiskCache cache;
};

// The disk cache the settings at iniPath ask for (only downloads on
// workers use one), or null.
std::shared_ptr<DiskCache> makeDiskCache(const PluginSettings& settings, const Environment& env) {
  if (settings.WaitForDownload == BackgroundDownloads::kWaitWholeDownload) return nullptr;
  if (!disk_cache::parseSetting(ini::readString(settings.iniPath, "Settings", "DiskCache", "",
                                                limits::kIniTextBuffer)))
    return nullptr;
  auto copies = std::make_shared<DiskCopies>(disk_cache::folderBeside(settings.iniPath), env);
  return std::shared_ptr<DiskCache>(copies, &copies->cache);
}

// Shut-down goes on step by step whatever one step throws: a destructor
// may not let an exception escape into the host.
template <typename F>
void step(F&& f) noexcept {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

Context* context() { return gContext; }

Context::Context() : moved_(std::make_shared<MovedFeeds>()), result_(std::make_unique<ResultBuffer>()) {
  httpsStartup();
  registry_ = std::make_unique<MeterRegistry>();
  settings_ = std::make_unique<PluginSettings>();
  settings_->locateFiles(modulePath(limits::kModulePathBuffer));
  settings_->loadGlobals();
  logger_ = std::make_shared<Logger>(systemClock());
  logger_->setEnabled(settings_->DoLog);
  logger_->openLog(settings_->moduleDirectory);
  env_.log = logger_.get();
  env_.moved = moved_.get();
  diskCache_ = makeDiskCache(*settings_, env_);
  downloads_ = std::make_unique<BackgroundDownloads>(
      cache_, env_, settings_->WaitForDownload,
      std::make_shared<std::pair<std::shared_ptr<Logger>, std::shared_ptr<MovedFeeds>>>(logger_,
                                                                                         moved_),
      diskCache_);
  // A worker still busy at the last dllshutdown (in a parse, or on Windows
  // in a name lookup) goes on: on Windows it holds the library itself;
  // elsewhere the unload waits for it.
  downloads_->onLingering = [] { return true; };
  meterEnv_ = MeterEnv{&cache_, settings_.get(), &openLink, downloads_.get()};
  result_->setCodePage(settings_->codePage.number);
  logger_->writeLine("DLLMain()");
  if (!settings_->codePageProblem.empty()) logger_->writeLine(settings_->codePageProblem);
}

Context::~Context() {
  meterEnv_ = MeterEnv{};
  // Where the unload notification holds the loader lock, a worker may need
  // that lock to end: nothing is waited for there (each worker holds the
  // library itself). Elsewhere the unload has begun and nothing can keep
  // the library loaded any more: a worker that does not end in time, or
  // one the last dllshutdown left running, is waited for (no network wait
  // is left uncancelled there; a parse ends on its own).
  if (kMayJoinAtUnload) downloads_->onLingering = nullptr;
  step([&] {
    downloads_->stop(kMayJoinAtUnload ? BackgroundDownloads::kStopWait : std::chrono::milliseconds(0),
                     kMayJoinAtUnload);
  });
  step([&] { downloads_.reset(); });
  // A worker left running holds its own share, and the Logger with it.
  step([&] { diskCache_.reset(); });
  step([&] { cache_.clear(); });
  step([&] { settings_->saveGlobals(); });
  step([&] { settings_.reset(); });
  step([&] { registry_.reset(); });
  step([&] { logger_->closeLog(); });
  env_.log = nullptr;
  step([&] { logger_.reset(); });
}

const char* Context::publish(std::string_view text) {
  result_->clear();
  result_->append(text);
  return result_->c_str();
}

void onLibraryAttach() {
  try {
    delete gContext;
    gContext = nullptr;
    gContext = new Context();
  } catch (...) {
    gContext = nullptr;
  }
}

void onLibraryDetach() {
  try {
    delete gContext;
  } catch (...) {
  }
  gContext = nullptr;
}

}  // namespace korvo
