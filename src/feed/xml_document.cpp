#include "feed/xml_document.h"

namespace korvo {

XmlDocument::XmlDocument(const std::string& text) : XmlDocument(text, prescanXml(text)) {}

XmlDocument::XmlDocument(const std::string& text, XmlPrescanResult scanned, bool utf8) {
  if (scanned != XmlPrescanResult::Accepted) {
    failed_ = true;
    error_ = prescanMessage(scanned);
    return;
  }
  tree_.Parse(text.c_str(), nullptr, utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
  if (tree_.Error()) {
    failed_ = true;
    error_ = tree_.ErrorDesc();
  }
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
