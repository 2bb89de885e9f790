#pragma once
// korvo-host --fetch URL: one download and parse exactly as a meter runs
// them, reported hop by hop for a user who wants to know why a meter shows
// an error.
#include <ostream>
#include <string>

namespace korvo::host {

// Prints each hop (address, status line, the headers that matter), then
// the dialect, the number of items and the first titles, or the error and
// the stack's own words for it. 0 when the feed was read, 1 otherwise.
int fetchAndReport(const std::string& url, std::ostream& out);

}  // namespace korvo::host
