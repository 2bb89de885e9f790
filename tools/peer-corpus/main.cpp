// korvo-peer-corpus: downloads feed documents from files as a meter would
// and prints what Korvo makes of each. Standard input holds one job a line:
//
//   URL-PATH <TAB> FILE [<TAB> HEADER-LINE]...
//
// FILE's bytes are served at URL-PATH on a loopback port, with the header
// lines given ("Status: 404 Not Found" sets the status line instead), and
// read through the refresh's own download and parse: the HTTP answer, the
// character-set step, the parse and the cleanup with a meter's default
// options, the texts in UTF-8. Each job prints one line:
//
//   {"path": ..., "base": "http://127.0.0.1:PORT/", "error": ...,
//    "channel": {...}, "items": [...]}
//
// "error" is the feed's failure message, empty when the document was read.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "document_server.h"
#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "feed_json.h"
#include "platform/text_conversion.h"
#include "retrieval/feed_refresh.h"
#include "text/target_code_page.h"

namespace {

using korvo::peers::jsonString;

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::istringstream in(line);
  std::string part;
  while (std::getline(in, part, '\t')) parts.push_back(part);
  return parts;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string answerFor(const std::vector<std::string>& job, const std::string& body) {
  std::string status = "200 OK";
  std::string headers;
  for (std::size_t i = 2; i < job.size(); ++i) {
    static const std::string kStatus = "Status:";
    if (job[i].compare(0, kStatus.size(), kStatus) == 0) {
      status = job[i].substr(job[i].find_first_not_of(' ', kStatus.size()));
      continue;
    }
    headers += job[i] + "\r\n";
  }
  return "HTTP/1.0 " + status + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

int main() {
  korvo::peers::DocumentServer server;
  if (server.port() == 0) {
    std::cerr << "korvo-peer-corpus: cannot listen on a loopback port\n";
    return 1;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
  korvo::CleanupOptions options;
  options.target = korvo::TargetCodePage{korvo::charset::kUtf8, false};

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> job = splitTabs(line);
    if (job.size() < 2) {
      std::cerr << "korvo-peer-corpus: a job needs a URL path and a file: " << line << '\n';
      return 1;
    }
    std::string body;
    std::string out = "{\"path\": " + jsonString(job[0]) + ", \"base\": " + jsonString(base);
    if (!readFile(job[1], body)) {
      std::cout << out << ", \"error\": " << jsonString("cannot read " + job[1])
                << ", \"channel\": {}, \"items\": []}\n";
      continue;
    }
    server.setAnswer(answerFor(job, body));
    std::string path = job[0];
    if (path.empty() || path[0] != '/') path.insert(0, "/");
    korvo::Feed feed(base + path.substr(1));
    korvo::fetchAndParse(feed, options);
    const std::string fields = korvo::peers::channelJson(feed.channel);
    // Both objects are whole: join them into one.
    std::cout << out << ", \"error\": " << jsonString(feed.errorText) << ", "
              << fields.substr(1) << '\n';
  }
  return 0;
}
