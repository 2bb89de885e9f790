#pragma once
// The examination of one whole HTTP answer as the download received it:
// status line, header lines, body. Pure: no socket, no clock; only the Feed
// and the answer change.
#include <string>

#include "feed/feed.h"

namespace korvo {

// Checks, in this order: an empty answer ("No data recieved"), no line end
// ("Invalid format."), a 304 (true, feed.state.notModified set, answer
// emptied), the status line ("Error transfering data."), the closing tag
// that names the dialect ("Invalid rss format."), the start of the body
// ("Beginning of data not found."). On a 200 the validators and dialect
// flags are updated and answer keeps only the body. On failure the message
// is recorded with feed.setError and answer is emptied.
bool examineAnswer(Feed& feed, std::string& answer);

}  // namespace korvo
