#include "retrieval/http_answer.h"

#include <string_view>

namespace korvo {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";

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

// Header names are matched anywhere in the answer, exact case, and the
// value is assumed to follow ": "; only a match in the header block counts.
void takeValidator(const std::string& answer, std::string_view name, std::size_t bodyStart,
                   std::string& stored) {
  const std::size_t at = answer.find(name);
  if (at == std::string::npos) return;
  const std::size_t valueStart = at + name.size() + 2;
  if (valueStart >= bodyStart) return;
  const std::size_t valueEnd = answer.find(kLineEnd, valueStart);
  stored = answer.substr(valueStart, valueEnd - valueStart);
}

}  // namespace

bool examineAnswer(Feed& feed, std::string& answer, const AnswerContext& context) {
  if (answer.empty()) return fail(feed, answer, "No data recieved");
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
    return fail(feed, answer, "Error transfering data.");

  feed.isRdf = false;
  feed.isAtom = false;
  if (answer.rfind("</rss>") == std::string::npos) {
    if (answer.rfind("</rdf:RDF>") != std::string::npos)
      feed.isRdf = true;
    else if (answer.rfind("</feed>") != std::string::npos)
      feed.isAtom = true;
    else
      return fail(feed, answer, cutOr(context, "Invalid rss format."));
  }

  const std::size_t headerEnd = answer.find(kHeaderEnd);
  const std::size_t bodyStart =
      headerEnd == std::string::npos ? answer.size() : headerEnd + kHeaderEnd.size();
  if (bodyStart >= answer.size())
    return fail(feed, answer, cutOr(context, "Beginning of data not found."));

  takeValidator(answer, "Last-Modified", bodyStart, feed.lastModified);
  takeValidator(answer, "ETag", bodyStart, feed.etag);
  answer.erase(0, bodyStart);
  return true;
}

}  // namespace korvo
