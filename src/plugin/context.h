#pragma once
// The process-wide state of the plug-in: made at library attach, destroyed
// at detach, reached through context(). Nothing else is process-wide.
#include <array>
#include <memory>
#include <string>

#include "base/environment.h"
#include "base/limits.h"
#include "base/logger.h"
#include "meters/plugin_settings.h"

namespace korvo {

class Context {
 public:
  // Attach: settings located and read, log opened, "DLLMain()" written.
  Context();
  // Detach: feeds dropped, switches written back, log closed last.
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  PluginSettings& settings() { return *settings_; }
  Logger& logger() { return *logger_; }
  const Environment& env() const { return env_; }
  int takeMeterId() { return nextMeterId_++; }

  // Copies text (cut to 32767 bytes) into the result buffer and returns it.
  const char* publish(std::string_view text);

 private:
  int nextMeterId_ = 0;
  std::unique_ptr<PluginSettings> settings_;
  std::unique_ptr<Logger> logger_;
  Environment env_;
  std::unique_ptr<std::array<char, limits::kResultBufferSize>> result_;
};

// The live context, or null outside attach..detach.
Context* context();

}  // namespace korvo
