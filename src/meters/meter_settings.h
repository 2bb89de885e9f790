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
  // How dates show: empty = as the feed wrote them, "local", "relative" or
  // a strftime pattern.
  std::string DateFormat;
  // Words or phrases separated by '|': an item shows when its title or
  // description has one of Include's (empty: every item) and none of
  // Exclude's.
  std::string Include;
  std::string Exclude;
  int MaxAge = 0;             // hours; 0: items of any age show
  std::string Order = "feed";  // "feed" or "newest"
  std::string MarkNew;        // put before the title of a new item; empty: no mark

  // The cleanup of this meter's texts, written in the plug-in's code page.
  CleanupOptions cleanup(const TargetCodePage& target = TargetCodePage()) const {
    return {FilterUnicode, FilterHtml, ReplaceBr, target};
  }
};

}  // namespace korvo
