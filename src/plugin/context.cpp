#include "plugin/context.h"

#include "plugin/attach.h"
#include "platform/module_path.h"
#include "platform/shell.h"

namespace korvo {
namespace {

Context* gContext = nullptr;

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

Context::Context() : result_(std::make_unique<ResultBuffer>()) {
  registry_ = std::make_unique<MeterRegistry>();
  settings_ = std::make_unique<PluginSettings>();
  settings_->locateFiles(modulePath(limits::kModulePathBuffer));
  settings_->loadGlobals();
  logger_ = std::make_unique<Logger>(systemClock());
  logger_->setEnabled(settings_->DoLog);
  logger_->openLog(settings_->moduleDirectory);
  env_.log = logger_.get();
  env_.moved = &moved_;
  meterEnv_ = MeterEnv{&cache_, settings_.get(), &openLink};
  logger_->writeLine("DLLMain()");
  if (!settings_->codePageProblem.empty()) logger_->writeLine(settings_->codePageProblem);
}

Context::~Context() {
  step([&] { cache_.clear(); });
  step([&] { settings_->saveGlobals(); });
  meterEnv_ = MeterEnv{};
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
