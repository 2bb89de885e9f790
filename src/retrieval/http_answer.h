#pragma once
// The examination of one whole HTTP answer as the download received it:
// status line, header lines, body. Pure: no socket, no clock; only the Feed
// and the answer change.
#include <string>
#include <string_view>

#include "feed/feed.h"

namespace korvo {

// The blank line that ends an answer's header block.
inline constexpr std::string_view kHeaderEnd = "\r\n\r\n";

// What the download knows about an answer besides its bytes.
struct AnswerContext {
  // The request carried a validator (If-Modified-Since or If-None-Match).
  bool conditional = false;
  // How the receive loop ended before the server closed in order.
  enum class Cut { None, Reset, Stalled };
  Cut cut = Cut::None;
};

// Checks, in this order: an empty answer ("No data recieved"), no line end
// ("Invalid format."), a 304 (true, feed.state.notModified set, answer
// emptied, when the request was conditional; otherwise "Server answered
// 'not modified' to a request without validators."), the status line
// ("Error transfering data.", its log line naming the status before the
// URL: "(HTTP 404 Not Found, URL)"), the closing tag that names the dialect,
// in ASCII or in UTF-16 (holdsAscii), or for a body that is JSON
// (looksLikeJson) a JSON Feed by its Content-Type (application/feed+json)
// or its version (hasJsonFeedVersion), ending as JSON does ("Invalid rss
// format."; a JSON Feed leaves both dialect flags clear), the start of the
// body ("Beginning of data not found."). When the connection was cut
// (context.cut) and the answer fails a check of its completeness, the
// message says so instead: "Connection lost while receiving data." or
// "Server stopped sending data.". On a 200 the validators and dialect flags
// are updated and answer keeps only the body. On failure the message is
// recorded with feed.setError and answer is emptied.
bool examineAnswer(Feed& feed, std::string& answer, const AnswerContext& context);

// The same for an answer received in two parts, answer + body, where body
// is empty or answer ends with the whole answer's first blank line (the
// end of the header block): the body then becomes answer without being
// moved. body is empty afterwards.
bool examineAnswer(Feed& feed, std::string& answer, std::string& body,
                   const AnswerContext& context);

// The value of the first header line of head (status line, header lines)
// whose name is name in any letter case; false when there is none before
// the blank line that ends the header block.
bool findHeader(std::string_view head, std::string_view name, std::string& value);

// The three-digit code of a status line "HTTP/x y NNN ...", else 0.
int statusCode(std::string_view answer);

}  // namespace korvo
