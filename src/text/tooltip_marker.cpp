#include "text/tooltip_marker.h"

#include <cstring>

namespace korvo {

void breakTooltipMarker(std::string& text) {
  // Nearly every text holds no "%" at all: one scan tells.
  if (text.size() < kTooltipMarker.size() || !std::memchr(text.data(), '%', text.size())) return;
  // The blank goes right after the "%", so the bytes before it cannot
  // complete a new marker with what follows.
  for (std::size_t at = text.find(kTooltipMarker); at != std::string::npos;
       at = text.find(kTooltipMarker, at + 2))
    text.insert(at + 1, 1, ' ');
}

}  // namespace korvo
