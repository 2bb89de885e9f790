#pragma once
// The stored options of one meter, with their defaults. Read and written
// by the meter layer; the refresh gets the interval and the cleanup.
#include <string>

#include "base/limits.h"
#include "feed/cleanup_options.h"

namespace korvo {

struct MeterSettings {
  std::string NewsSite;
  int UpdateIntervall = limits::kDefaultUpdateInterval;
  bool FilterUnicode = true;
  bool FilterHtml = true;
  bool ReplaceBr = true;
  int ToolTip = 0;
  int ToolTipItem = 0;
  int InputClick = 0;
  int InputClickItem = 0;

  CleanupOptions cleanup() const { return {FilterUnicode, FilterHtml, ReplaceBr}; }
};

}  // namespace korvo
