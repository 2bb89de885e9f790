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
  decodeReferencesAt(document, shape, utf8);
}

void decodeReferencesAt(std::string& document, const XmlShape& shape, bool utf8) {
  const std::vector<std::size_t>& inText = shape.references;
  const std::vector<std::size_t>& inValues = shape.attributeAmpersands;
  const std::string_view text(document);
  char* const b = document.data();
  const std::size_t n = document.size();
  // Shrinking in place first; the "&"s that are to stay are noted where
  // they land, and get their "amp;" in a second, growing copy.
  std::vector<std::size_t> kept;
  std::size_t r = 0, w = 0;
  const auto keep = [&](std::size_t amp) {
    if (w != r) std::memmove(b + w, b + r, amp + 1 - r);
    w += amp + 1 - r;
    r = amp + 1;
    kept.push_back(w - 1);
  };
  std::size_t t = 0, v = 0;
  while (t < inText.size() || v < inValues.size()) {
    const bool fromText = v == inValues.size() || (t < inText.size() && inText[t] < inValues[v]);
    const std::size_t amp = fromText ? inText[t++] : inValues[v++];
    if (amp < r || amp >= n || text[amp] != '&') continue;
    if (isXmlName(text.substr(amp))) continue;
    const bool number = amp + 1 < n && text[amp + 1] == '#';
    if (!fromText) {
      if (!number) keep(amp);
      continue;
    }
    CharacterReference ref = readCharacterReference(text.substr(amp));
    if (ref.length == 0) {
      // TinyXML reads a well-formed number itself and fails on any other.
      if (!number) keep(amp);
      continue;
    }
    // TinyXML keeps a number below 0x80 as the character it is, and one
    // below 0x100 as its byte; it would cut any larger one to its low byte.
    if (number && ref.code < (utf8 ? 0x80u : 0x100u)) continue;
    char buffer[4];
    std::string_view decoded =
        referenceText(ref.code, utf8 ? ReferenceForm::Utf8 : ReferenceForm::SingleByte, buffer);
    if (decoded.size() > ref.length) decoded = decoded.substr(0, 0);
    if (w != r) std::memmove(b + w, b + r, amp - r);
    w += amp - r;
    if (!decoded.empty()) std::memcpy(b + w, decoded.data(), decoded.size());
    w += decoded.size();
    r = amp + ref.length;
  }
  if (w != r) {
    std::memmove(b + w, b + r, n - r);
    document.resize(w + (n - r));
  }
  if (kept.empty()) return;
  static constexpr std::string_view kAmp = "amp;";
  std::string grown;
  grown.reserve(document.size() + kept.size() * kAmp.size());
  std::size_t from = 0;
  for (const std::size_t at : kept) {
    grown.append(document, from, at + 1 - from);
    grown.append(kAmp);
    from = at + 1;
  }
  grown.append(document, from, std::string::npos);
  document.swap(grown);
}

}  // namespace korvo
