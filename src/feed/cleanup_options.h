#pragma once
// How a feed's texts are cleaned: the character-set step for UTF-8
// documents, line-break tags and HTML mark-up. Each meter has its own.
namespace korvo {

struct CleanupOptions {
  bool FilterUnicode = true;
  bool FilterHtml = true;
  bool ReplaceBr = true;
};

inline bool operator==(const CleanupOptions& a, const CleanupOptions& b) {
  return a.FilterUnicode == b.FilterUnicode && a.FilterHtml == b.FilterHtml &&
         a.ReplaceBr == b.ReplaceBr;
}
inline bool operator!=(const CleanupOptions& a, const CleanupOptions& b) { return !(a == b); }

}  // namespace korvo
