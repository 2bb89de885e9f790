#pragma once
// How a feed's texts are cleaned: the character-set step, line-break tags
// and HTML mark-up, and the code page the texts are written in. Each meter
// has its own switches; the code page is the plug-in's.
#include "text/target_code_page.h"

namespace korvo {

struct CleanupOptions {
  bool FilterUnicode = true;
  bool FilterHtml = true;
  bool ReplaceBr = true;
  TargetCodePage target;
};

inline bool operator==(const CleanupOptions& a, const CleanupOptions& b) {
  return a.FilterUnicode == b.FilterUnicode && a.FilterHtml == b.FilterHtml &&
         a.ReplaceBr == b.ReplaceBr && a.target.number == b.target.number &&
         a.target.latin1 == b.target.latin1;
}
inline bool operator!=(const CleanupOptions& a, const CleanupOptions& b) { return !(a == b); }

}  // namespace korvo
