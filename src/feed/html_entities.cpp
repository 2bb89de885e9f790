#include "feed/html_entities.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "feed/xml_prescan.h"
#include "text/character_reference.h"

namespace korvo {
namespace {

// Whether the "&" at the start of text begins one of XML's five names,
// which TinyXML reads itself. Most references in a feed are these, so they
// are told apart before any table is asked.
bool isXmlName(std::string_view text) {
  if (text.size() < 2) return false;
  switch (text[1]) {
    case 'l':
    case 'g':
      return text.substr(2, 2) == "t;";
    case 'a':
      return text.substr(1, 4) == "amp;" || text.substr(1, 5) == "apos;";
    case 'q':
      return text.substr(1, 5) == "quot;";
    default:
      return false;
  }
}

}  // namespace

void decodeHtmlEntities(std::string& document, bool utf8) {
  if (document.find('&') == std::string::npos) return;
  // The pre-scan tells element text from mark-up as TinyXML does.
  XmlShape shape;
  if (prescanXml(document, XmlLimits(), &shape) != XmlPrescanResult::Accepted) return;
  decodeReferencesAt(document, shape.references, utf8);
}

void decodeReferencesAt(std::string& document, const std::vector<std::size_t>& references,
                        bool utf8) {
  const std::string_view text(document);
  char* const b = document.data();
  const std::size_t n = document.size();
  std::size_t r = 0, w = 0;
  for (const std::size_t amp : references) {
    if (amp < r || amp >= n || text[amp] != '&') continue;
    CharacterReference ref = isXmlName(text.substr(amp))
                                 ? CharacterReference()
                                 : readCharacterReference(text.substr(amp));
    // TinyXML keeps a number below 0x80 as the character it is, and one
    // below 0x100 as its byte; it would cut any larger one to its low byte.
    if (text[amp + 1] == '#' && ref.code < (utf8 ? 0x80u : 0x100u)) ref = CharacterReference();
    if (ref.length != 0) {
      char buffer[4];
      std::string_view decoded = referenceText(
          ref.code, utf8 ? ReferenceForm::Utf8 : ReferenceForm::SingleByte, buffer);
      if (decoded.size() > ref.length) decoded = decoded.substr(0, 0);
      if (w != r) std::memmove(b + w, b + r, amp - r);
      w += amp - r;
      if (!decoded.empty()) std::memcpy(b + w, decoded.data(), decoded.size());
      w += decoded.size();
      r = amp + ref.length;
    }
  }
  if (w == r) return;
  std::memmove(b + w, b + r, n - r);
  document.resize(w + (n - r));
}

}  // namespace korvo
