#include "feed/xml_document.h"

#include <cstring>
#include <vector>

#include "feed/inline_markup.h"

namespace korvo {

XmlDocument::XmlDocument(const std::string& text) : XmlDocument(text, prescanXml(text)) {}

XmlDocument::XmlDocument(std::string_view text, XmlPrescanResult scanned, bool utf8)
    : text_(text) {
  if (scanned != XmlPrescanResult::Accepted) {
    failed_ = true;
    error_ = prescanMessage(scanned);
    return;
  }
  tree_.Parse(text.data(), nullptr, utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
  if (tree_.Error()) {
    failed_ = true;
    error_ = tree_.ErrorDesc();
  }
}

XmlDocument::~XmlDocument() = default;

// The walk numbers elements in the order TinyXML makes them, which is the
// tree's order from the top down: the two are matched by number, and each
// match is checked by name.
void XmlDocument::findMarkedElements() const {
  marked_ = std::make_unique<MarkedElements>();
  const std::vector<XmlMarkedElement> found = markedElements(text_);
  std::size_t next = 0;
  long number = -1;
  const TiXmlNode* node = tree_.FirstChild();
  while (node && next < found.size()) {
    if (const TiXmlElement* element = node->ToElement()) {
      ++number;
      const XmlMarkedElement& candidate = found[next];
      if (candidate.element == number) {
        ++next;
        if (text_.substr(candidate.nameAt, candidate.nameLength) == element->Value())
          marked_->emplace(element, candidate);
      }
    }
    if (node->FirstChild()) {
      node = node->FirstChild();
      continue;
    }
    while (node && node != &tree_ && !node->NextSibling()) node = node->Parent();
    node = node && node != &tree_ ? node->NextSibling() : nullptr;
  }
}

bool XmlDocument::markupContent(const TiXmlElement& element, ReferenceForm form,
                                std::string& out) const {
  if (!marked_) findMarkedElements();
  const auto found = marked_->find(&element);
  if (found == marked_->end()) return false;
  std::vector<XmlMarkupNode> nodes;
  std::size_t end = 0;
  if (!markupOfContent(text_, found->second, nodes, end)) return false;
  out = inlineMarkup(text_, found->second.contentAt, end, nodes, form);
  return true;
}

// A declaration is read the same whatever follows it, so parsing the
// bytes that hold it gives the node the whole document would give.
std::string declaredEncoding(std::string_view text, std::size_t declarationLength) {
  const std::string head(text.substr(0, declarationLength));
  TiXmlDocument tree;
  tree.Parse(head.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  const TiXmlNode* first = tree.FirstChild();
  const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
  return declaration ? declaration->Encoding() : std::string();
}

}  // namespace korvo
