#include "feed/inline_markup.h"

namespace korvo {
namespace {

constexpr std::string_view kCdataStart = "<![CDATA[";
constexpr std::string_view kCdataEnd = "]]>";

// TinyXML's white space: isspace in the "C" locale, as its own reading of
// text has it.
bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

class Writer {
 public:
  Writer(std::string& out, ReferenceForm form) : out_(out), form_(form) {}

  // A run of text between mark-up nodes.
  void text(std::string_view run) {
    for (std::size_t i = 0; i < run.size();) {
      const char c = run[i];
      if (isBlank(c)) {
        blank_ = true;
        ++i;
        continue;
      }
      settle();
      if (c != '&') {
        out_ += c;
        ++i;
        continue;
      }
      i += reference(run.substr(i));
    }
  }

  // Bytes that are written as they stand: a tag, a comment, a CDATA
  // section's content.
  void verbatim(std::string_view bytes) {
    settle();
    out_.append(bytes);
  }

 private:
  // The blank a run of white space leaves, once something follows it.
  void settle() {
    if (blank_ && !out_.empty()) out_ += ' ';
    blank_ = false;
  }

  // The "&" that starts run, as TinyXML reads it and HTML writes it back;
  // returns how many bytes it took.
  std::size_t reference(std::string_view run) {
    for (std::string_view kept : {"&amp;", "&lt;", "&gt;"}) {
      if (run.substr(0, kept.size()) == kept) {
        out_.append(kept);
        return kept.size();
      }
    }
    if (run.substr(0, 6) == "&quot;") {
      out_ += '"';
      return 6;
    }
    if (run.substr(0, 6) == "&apos;") {
      out_ += '\'';
      return 6;
    }
    const CharacterReference ref =
        run.size() > 1 && run[1] == '#' ? readCharacterReference(run) : CharacterReference();
    // Any other "&" TinyXML would have dropped; it stays, as the text
    // cleanup keeps an "&" that starts no reference.
    if (ref.length == 0) {
      out_.append("&amp;");
      return 1;
    }
    switch (ref.code) {
      case '&':
        out_.append("&amp;");
        break;
      case '<':
        out_.append("&lt;");
        break;
      case '>':
        out_.append("&gt;");
        break;
      default: {
        char buffer[4];
        out_.append(referenceText(ref.code, form_, buffer));
      }
    }
    return ref.length;
  }

  std::string& out_;
  ReferenceForm form_;
  bool blank_ = false;
};

}  // namespace

std::string inlineMarkup(std::string_view text, std::size_t begin, std::size_t end,
                         const std::vector<XmlMarkupNode>& nodes, ReferenceForm form) {
  std::string out;
  out.reserve(end - begin);
  Writer writer(out, form);
  std::size_t at = begin;
  for (const XmlMarkupNode& node : nodes) {
    writer.text(text.substr(at, node.begin - at));
    std::string_view bytes = text.substr(node.begin, node.end - node.begin);
    if (node.cdata) {
      bytes.remove_prefix(kCdataStart.size());
      if (bytes.size() >= kCdataEnd.size() &&
          bytes.substr(bytes.size() - kCdataEnd.size()) == kCdataEnd)
        bytes.remove_suffix(kCdataEnd.size());
    }
    writer.verbatim(bytes);
    at = node.end;
  }
  writer.text(text.substr(at, end - at));
  return out;
}

}  // namespace korvo
