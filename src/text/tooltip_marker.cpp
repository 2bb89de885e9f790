#include "text/tooltip_marker.h"

namespace korvo {

void breakTooltipMarker(std::string& text) {
  // The blank goes right after the "%", so the bytes before it cannot
  // complete a new marker with what follows.
  for (std::size_t at = text.find(kTooltipMarker); at != std::string::npos;
       at = text.find(kTooltipMarker, at + 2))
    text.insert(at + 1, 1, ' ');
}

}  // namespace korvo
