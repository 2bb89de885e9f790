// The examination of an answer received whole and of the same answer with
// its body set apart at the end of the header block, as the download
// receives it: the same verdict, message, flags, validators and body.
#include "retrieval/http_answer.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

struct Verdict {
  bool ok = false;
  std::string body, error, lastModified, etag;
  bool isRdf = false, isAtom = false, notModified = false;
};

Verdict examine(const std::string& answer, bool split, bool conditional) {
  Feed feed("http://news.test/feed.xml");
  feed.lastModified = "earlier date";
  feed.etag = "earlier tag";
  feed.isRdf = true;
  std::string head = answer, body;
  const std::size_t end = answer.find("\r\n\r\n");
  if (split && end != std::string::npos) {
    head = answer.substr(0, end + 4);
    body = answer.substr(end + 4);
  }
  AnswerContext context;
  context.conditional = conditional;
  Verdict v;
  v.ok = split ? examineAnswer(feed, head, body, context) : examineAnswer(feed, head, context);
  EXPECT_TRUE(body.empty());
  v.body = head;
  v.error = feed.errorText;
  v.lastModified = feed.lastModified;
  v.etag = feed.etag;
  v.isRdf = feed.isRdf;
  v.isAtom = feed.isAtom;
  v.notModified = feed.state.notModified;
  return v;
}

TEST(HttpAnswerTest, ABodySetApartIsExaminedAsTheWholeAnswer) {
  const std::string rss = "<rss><channel><title>t</title></channel></rss>";
  const std::string utf16Atom = std::string("<\0f\0e\0e\0d\0>\0<\0/\0f\0e\0e\0d\0>\0", 26);
  const std::string answers[] = {
      "HTTP/1.0 200 OK\r\nLast-Modified: Tue\r\nETag: \"x\"\r\n\r\n" + rss,
      "HTTP/1.1 200 OK\r\n\r\n<rdf:RDF></rdf:RDF>",
      "HTTP/1.1 200 OK\r\n\r\n" + utf16Atom,
      "HTTP/1.1 200 OK\r\nContent-Type: application/feed+json\r\n\r\n{\"items\":[]}",
      "HTTP/1.1 200 OK\r\n\r\n{\"version\":\"https://jsonfeed.org/version/1.1\"}",
      "HTTP/1.1 200 OK\r\n\r\n{\"items\":[]}",
      // The closing tag only in a header line, or only after a second
      // blank line.
      "HTTP/1.1 200 OK\r\nX-Note: </rss>\r\n\r\n<rss><channel>",
      "HTTP/1.1 200 OK\r\n\r\n<rss>\r\n\r\n</rss>",
      "HTTP/1.1 200 OK\r\n\r\n<rss><channel>",
      "HTTP/1.1 200 OK\r\n\r\n",
      "HTTP/1.1 200 OK\r\n</rss>",
      "HTTP/1.0 304 Not Modified\r\n\r\nignored </rss>",
      "HTTP/1.1 404 Not Found\r\n\r\n</rss>",
      "HTTP/1.1 200 OK",
      "",
  };
  for (const std::string& answer : answers) {
    for (const bool conditional : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(answer) + (conditional ? " conditional" : ""));
      const Verdict whole = examine(answer, false, conditional);
      const Verdict apart = examine(answer, true, conditional);
      EXPECT_EQ(apart.ok, whole.ok);
      EXPECT_EQ(apart.body, whole.body);
      EXPECT_EQ(apart.error, whole.error);
      EXPECT_EQ(apart.lastModified, whole.lastModified);
      EXPECT_EQ(apart.etag, whole.etag);
      EXPECT_EQ(apart.isRdf, whole.isRdf);
      EXPECT_EQ(apart.isAtom, whole.isAtom);
      EXPECT_EQ(apart.notModified, whole.notModified);
    }
  }
}

}  // namespace
}  // namespace korvo
