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

  // The cleanup of this meter's texts, written in the plug-in's code page.
  CleanupOptions cleanup(const TargetCodePage& target = TargetCodePage()) const {
    return {FilterUnicode, FilterHtml, ReplaceBr, target};
  }
};

}  // namespace korvo
