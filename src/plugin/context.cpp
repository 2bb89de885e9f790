#include "plugin/context.h"

#include <cstring>

#include "platform/attach.h"
#include "platform/module_path.h"

namespace korvo {
namespace {

Context* gContext = nullptr;

}  // namespace

Context* context() { return gContext; }

Context::Context() : result_(std::make_unique<std::array<char, limits::kResultBufferSize>>()) {
  (*result_)[0] = '\0';
  settings_ = std::make_unique<PluginSettings>();
  settings_->locateFiles(modulePath(limits::kModulePathBuffer));
  settings_->loadGlobals();
  logger_ = std::make_unique<Logger>(systemClock());
  logger_->setEnabled(settings_->DoLog);
  logger_->openLog(settings_->moduleDirectory);
  env_.log = logger_.get();
  logger_->writeLine("DLLMain()");
}

Context::~Context() {
  settings_->saveGlobals();
  settings_.reset();
  logger_->closeLog();
  logger_.reset();
}

const char* Context::publish(std::string_view text) {
  std::size_t n = std::min(text.size(), limits::kResultBufferSize - 1);
  std::memcpy(result_->data(), text.data(), n);
  (*result_)[n] = '\0';
  return result_->data();
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
