#include "retrieval/http_answer.h"

#include <algorithm>
#include <string_view>

#include "feed/document_charset.h"
#include "feed/json_feed.h"
#include "platform/ascii.h"

namespace korvo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool fail(Feed& feed, std::string& answer, const char* message) {
  std::string().swap(answer);
  feed.setError(message);
  return false;
}

// For the checks an answer cut short fails: the cut is the real reason.
const char* cutOr(const AnswerContext& context, const char* message) {
  switch (context.cut) {
    case AnswerContext::Cut::Reset:
      return "Connection lost while receiving data.";
    case AnswerContext::Cut::Stalled:
      return "Server stopped sending data.";
    case AnswerContext::Cut::None:
      break;
  }
  return message;
}

// A refused status, for the log: "HTTP 404 Not Found" (the status code
// and the server's reason phrase, control characters shown as "?", at
// most kShownStatusBytes bytes); empty when the line holds no HTTP status.
constexpr std::size_t kShownStatusBytes = 100;
std::string shownStatus(std::string_view statusLine) {
  if (statusCode(statusLine) == 0) return std::string();
  std::string_view rest = statusLine.substr(statusLine.find(' ') + 1);
  std::string shown = "HTTP " + std::string(rest.substr(0, kShownStatusBytes));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (rest.size() > kShownStatusBytes) shown += "...";
  return shown;
}

// "Error transfering data." is all the meter shows; the log line names
// the status the server sent, before the URL.
bool refuseStatus(Feed& feed, std::string& answer, std::string_view statusLine) {
  constexpr const char* kMessage = "Error transfering data.";
  const std::string status = shownStatus(statusLine);
  if (status.empty()) return fail(feed, answer, kMessage);
  std::string().swap(answer);
  feed.errorText = kMessage;
  std::string line = std::string("Error: ") + kMessage + " (" + status;
  if (!feed.url.empty()) line += ", " + urlForLog(feed.url);
  feed.env().writeLine(line + ")");
  return false;
}

void takeValidator(std::string_view answer, std::string_view name, std::size_t bodyStart,
                   std::string& stored) {
  std::string value;
  if (findHeader(answer.substr(0, bodyStart), name, value)) stored = std::move(value);
}

// A JSON body is a feed when the answer says it is one (Content-Type
// application/feed+json) or its version says so; it is whole when it ends
// as JSON does, with its outermost "}" or "]".
bool isJsonFeedAnswer(std::string_view head, std::string_view body) {
  const std::size_t end = body.find_last_not_of(" \t\r\n");
  if (end == std::string_view::npos || (body[end] != '}' && body[end] != ']')) return false;
  std::string type;
  if (findHeader(head, "Content-Type", type)) {
    std::string_view media = std::string_view(type).substr(0, type.find(';'));
    while (!media.empty() && (media.back() == ' ' || media.back() == '\t')) media.remove_suffix(1);
    if (ascii::equalsIgnoringCase(media, "application/feed+json")) return true;
  }
  return hasJsonFeedVersion(body);
}

}  // namespace

// A name matches at the start of a header line (after the status line),
// in any letter case, followed by ":"; blanks after the colon are skipped
// and the value runs to the line end.
bool findHeader(std::string_view head, std::string_view name, std::string& value) {
  std::size_t lineStart = head.find(kLineEnd);
  while (lineStart != std::string_view::npos) {
    lineStart += kLineEnd.size();
    const std::size_t lineEnd = std::min(head.find(kLineEnd, lineStart), head.size());
    const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    if (line.empty()) return false;
    if (line.size() > name.size() && line[name.size()] == ':' &&
        ascii::equalsIgnoringCase(line.substr(0, name.size()), name)) {
      std::size_t at = name.size() + 1;
      while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
      value = std::string(line.substr(at));
      return true;
    }
    lineStart = lineEnd == head.size() ? std::string_view::npos : lineEnd;
  }
  return false;
}

int statusCode(std::string_view answer) {
  if (answer.substr(0, 5) != "HTTP/") return 0;
  const std::size_t blank = answer.find(' ');
  if (blank == std::string_view::npos || blank > 9 || answer.size() < blank + 4) return 0;
  int code = 0;
  for (std::size_t i = blank + 1; i < blank + 4; ++i) {
    if (answer[i] < '0' || answer[i] > '9') return 0;
    code = code * 10 + (answer[i] - '0');
  }
  return code;
}

bool examineAnswer(Feed& feed, std::string& answer, const AnswerContext& context) {
  std::string body;
  return examineAnswer(feed, answer, body, context);
}

// Where the body was set apart, the header block ends answer and the
// whole answer's checks look at both parts: no text they look for holds a
// line end, so none can straddle them.
bool examineAnswer(Feed& feed, std::string& answer, std::string& apart,
                   const AnswerContext& context) {
  std::string body;
  body.swap(apart);
  if (answer.empty() && body.empty()) return fail(feed, answer, "No data recieved");
  const std::size_t statusEnd = answer.find(kLineEnd);
  if (statusEnd == std::string::npos) return fail(feed, answer, cutOr(context, "Invalid format."));

  if (answer.compare(0, 12, "HTTP/1.1 304") == 0 || answer.compare(0, 12, "HTTP/1.0 304") == 0) {
    // Without validators there is nothing the answer could refer to.
    if (!context.conditional)
      return fail(feed, answer, "Server answered 'not modified' to a request without validators.");
    feed.env().writeLine("File not modified since last call: " + urlForLog(feed.url));
    feed.errorText.clear();
    feed.state.setNotModified(true);
    std::string().swap(answer);
    return true;
  }

  const std::string_view status = std::string_view(answer).substr(0, statusEnd);
  if (status != "HTTP/1.1 200 OK" && status != "HTTP/1.0 200 OK")
    return refuseStatus(feed, answer, status);

  feed.isRdf = false;
  feed.isAtom = false;
  const std::size_t headerEnd = answer.find(kHeaderEnd);
  const std::size_t bodyStart =
      headerEnd == std::string::npos ? answer.size() : headerEnd + kHeaderEnd.size();
  const std::string_view head = std::string_view(answer).substr(0, bodyStart);
  const std::string_view document =
      body.empty() ? std::string_view(answer).substr(bodyStart) : std::string_view(body);
  const auto holds = [&](std::string_view tag) {
    return holdsAscii(answer, tag) || holdsAscii(body, tag);
  };
  if (looksLikeJson(document)) {
    // JSON holds no closing tags: any it seems to hold are text.
    if (!isJsonFeedAnswer(head, document))
      return fail(feed, answer, cutOr(context, "Invalid rss format."));
  } else if (!holds("</rss>")) {
    // The closing tag as the document writes it, in UTF-16 too.
    if (holds("</rdf:RDF>"))
      feed.isRdf = true;
    else if (holds("</feed>"))
      feed.isAtom = true;
    else
      return fail(feed, answer, cutOr(context, "Invalid rss format."));
  }

  if (document.empty()) return fail(feed, answer, cutOr(context, "Beginning of data not found."));

  takeValidator(answer, "Last-Modified", bodyStart, feed.lastModified);
  takeValidator(answer, "ETag", bodyStart, feed.etag);
  if (body.empty())
    answer.erase(0, bodyStart);
  else
    answer.swap(body);
  return true;
}

}  // namespace korvo
