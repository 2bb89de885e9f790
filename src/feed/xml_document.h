#pragma once
// The TinyXML tree of one document, built in the library's single-byte
// mode (or its UTF-8 mode, for a document converted to UTF-8) after the
// pre-scan has let the document through, and freed with this object. Used
// only inside the feed layer.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include <tinyxml.h>

#include "feed/xml_prescan.h"
#include "text/character_reference.h"

namespace korvo {

class XmlDocument {
 public:
  // text is read up to its first zero byte; it must outlive the document,
  // which reads it again for markupContent.
  explicit XmlDocument(const std::string& text);
  // The same, for a text already pre-scanned with the standard bounds and
  // followed by a zero byte (as a std::string's is); utf8: the text is
  // well-formed UTF-8 and is parsed as such.
  XmlDocument(std::string_view text, XmlPrescanResult scanned, bool utf8 = false);
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  ~XmlDocument();

  bool failed() const { return failed_; }
  // The pre-scan's refusal or TinyXML's description of its first error.
  const std::string& error() const { return error_; }
  const TiXmlDocument& tree() const { return tree_; }

  // The content of element as the HTML the document writes
  // (inlineMarkup, numbers written in form), when it holds mark-up; false,
  // out unchanged, when it holds none, or the document's text shows no such
  // element where the tree has it. The first call walks the whole text once.
  bool markupContent(const TiXmlElement& element, ReferenceForm form, std::string& out) const;

 private:
  using MarkedElements = std::unordered_map<const TiXmlElement*, XmlMarkedElement>;
  void findMarkedElements() const;

  TiXmlDocument tree_;
  std::string_view text_;
  bool failed_ = false;
  std::string error_;
  mutable std::unique_ptr<MarkedElements> marked_;
};

// The encoding named by the XML declaration that is the first node of
// text, given the length the pre-scan found for that declaration.
std::string declaredEncoding(std::string_view text, std::size_t declarationLength);

}  // namespace korvo
