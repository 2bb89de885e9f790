#pragma once
// The marker at which the host splits a query's text from its tooltip.
// Text that comes from a feed must never hold it, or the server would
// choose where the tooltip starts.
#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kTooltipMarker = "%tt";

// Breaks every "%tt" in text into "% tt", in place; nothing else changes.
// Afterwards text holds no "%tt" at all.
void breakTooltipMarker(std::string& text);

}  // namespace korvo
