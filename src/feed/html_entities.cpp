#include "feed/html_entities.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "feed/byte_blocks.h"
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

// "&#", up to seven decimal digits and ";" from amp on, the way most
// numbers are written, read as readCharacterReference reads them; length
// 0 for any other text, and where fewer than ten bytes are left before
// end.
CharacterReference decimalNumber(const char* amp, const char* end) {
  if (end - amp < 10) return {};
  const std::uint64_t word = blocks::loadWord(reinterpret_cast<const unsigned char*>(amp + 2));
  // Each byte as its value minus '0'; the top bit set in each that is
  // then above 9 (a byte of 0x8A and above carries into the next one up,
  // but only above the first non-digit, which is all that is read). The
  // last byte stops the digits in any case.
  const std::uint64_t t = word ^ 0x3030303030303030ull;
  const std::uint64_t other =
      (((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull) | 0x8000000000000000ull;
  const unsigned at = static_cast<unsigned>(__builtin_ctzll(other)) & ~7u;  // 8 * digits
  if (at == 0 || static_cast<unsigned char>(t >> at) != (';' ^ '0')) return {};
  // The digits moved up to the top of the word, zeros before them, and
  // added up in pairs, fours and eights.
  std::uint64_t v = t << (64 - at);
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
  v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
  std::uint32_t code = v > 0x10FFFF ? 0x110000u : static_cast<std::uint32_t>(v);
  // HTML reads these C1 controls as what a windows-1252 page meant by them.
  if (code >= 0x80 && code <= 0x9F) {
    if (const char32_t meant = windows1252Character(static_cast<unsigned char>(code))) code = meant;
  }
  return {2 + at / 8 + 1, code};
}

// A decoded reference's bytes, at most four, in a buffer of four.
struct Decoded {
  char bytes[4] = {};
  std::size_t size = 0;
};

// What a character becomes (referenceText), remembered for the
// characters above U+00FF in single-byte text, which are looked up in
// tables: a document repeats its few such characters.
class ReferenceTexts {
 public:
  explicit ReferenceTexts(bool utf8) : utf8_(utf8) {}

  Decoded of(std::uint32_t code) {
    if (utf8_ || code <= 0xFF) return make(code);
    Slot& slot = slots_[code % kSlots];
    if (slot.code != code) slot = {code, make(code)};
    return slot.text;
  }

 private:
  Decoded make(std::uint32_t code) const {
    Decoded out;
    char buffer[4];
    const std::string_view text =
        referenceText(code, utf8_ ? ReferenceForm::Utf8 : ReferenceForm::SingleByte, buffer);
    out.size = text.size();
    if (!text.empty()) std::memcpy(out.bytes, text.data(), text.size());
    return out;
  }

  static constexpr std::size_t kSlots = 64;
  struct Slot {
    std::uint32_t code = 0;  // no slot is asked for 0, which is below 0x100
    Decoded text;
  };
  bool utf8_;
  Slot slots_[kSlots];
};

}  // namespace

void decodeHtmlEntities(std::string& document, bool utf8) {
  if (document.find('&') == std::string::npos) return;
  // The pre-scan tells element text from mark-up as TinyXML does.
  XmlShape shape;
  if (prescanXml(document, XmlLimits(), &shape) != XmlPrescanResult::Accepted) return;
  decodeReferencesAt(document, shape, utf8);
}

namespace {

// The decoding of decodeReferencesAt, from in[0, n) to out, which is either
// in itself (then each run between two changed references moves down once)
// or a buffer of its own with room for n bytes and four more for each "&"
// noted in shape. An "&" that is to stay is written "&amp;" in a buffer of
// its own; in place, where there is no room for that yet, it is written
// alone and its position put in kept. The length written; changed tells
// whether any reference was rewritten (none is rewritten as itself).
std::size_t decodeInto(const char* in, std::size_t n, const XmlShape& shape, bool utf8, char* out,
                       std::vector<std::size_t>* kept, bool& changed) {
  const std::string_view text(in, n);
  const char* const end = in + n;
  // TinyXML keeps a number below 0x80 as the character it is, and one
  // below 0x100 as its byte; it would cut any larger one to its low byte.
  const std::uint32_t keptAsIs = utf8 ? 0x80u : 0x100u;
  ReferenceTexts texts(utf8);
  std::size_t r = 0, w = 0;
  // The run in[r, to) written at out + w (in place, where it already is
  // when nothing before it has changed).
  const auto put = [&](std::size_t to) {
    if (out + w != in + r) std::memmove(out + w, in + r, to - r);
    w += to - r;
  };
  // The two lists in text order (a value's "&" first, where both hold one).
  const std::size_t* t = shape.references.data();
  const std::size_t* const tEnd = t + shape.references.size();
  const std::size_t* v = shape.attributeAmpersands.data();
  const std::size_t* const vEnd = v + shape.attributeAmpersands.size();
  std::size_t nextValue = v != vEnd ? *v : std::string::npos;
  for (;;) {
    std::size_t amp;
    const bool fromText = t != tEnd && *t < nextValue;
    if (fromText) {
      amp = *t++;
    } else if (v != vEnd) {
      amp = *v++;
      nextValue = v != vEnd ? *v : std::string::npos;
    } else {
      break;
    }
    if (amp < r || amp >= n || text[amp] != '&') continue;
    const bool number = amp + 1 < n && text[amp + 1] == '#';
    CharacterReference ref;
    if (number) {
      // An attribute value keeps its numbers. Most in text are short
      // decimal ones, read here; readCharacterReference reads the rest.
      if (!fromText) continue;
      ref = decimalNumber(in + amp, end);
      if (ref.length == 0) ref = readCharacterReference(text.substr(amp));
      // TinyXML reads a well-formed number itself and fails on any other.
      if (ref.length == 0 || ref.code < keptAsIs) continue;
    } else {
      if (isXmlName(text.substr(amp))) continue;
      // An attribute value keeps its names; TinyXML would drop the "&" of
      // a name it does not know.
      ref = fromText ? readCharacterReference(text.substr(amp)) : CharacterReference();
      if (ref.length == 0) {
        put(amp + 1);
        r = amp + 1;
        changed = true;
        if (kept != nullptr) {
          kept->push_back(w - 1);
        } else {
          std::memcpy(out + w, "amp;", 4);
          w += 4;
        }
        continue;
      }
    }
    Decoded decoded = texts.of(ref.code);
    if (decoded.size > ref.length) decoded.size = 0;
    put(amp);
    changed = true;
    // A reference of four bytes or more, all read, takes the four written
    // here.
    if (ref.length >= 4)
      std::memcpy(out + w, decoded.bytes, 4);
    else
      std::memcpy(out + w, decoded.bytes, decoded.size);
    w += decoded.size;
    r = amp + ref.length;
  }
  put(n);
  return w;
}

}  // namespace

void decodeReferencesAt(std::string& document, const XmlShape& shape, bool utf8) {
  // Shrinking in place first; the "&"s that are to stay are noted where
  // they land, and get their "amp;" in a second, growing copy.
  std::vector<std::size_t> kept;
  const std::size_t n = document.size();
  bool changed = false;
  const std::size_t w =
      decodeInto(document.data(), n, shape, utf8, document.data(), &kept, changed);
  if (w != n) document.resize(w);
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

bool decodeReferencesApart(std::string_view document, const XmlShape& shape, bool utf8,
                           DocumentBuffer& out) {
  const std::size_t notes = shape.references.size() + shape.attributeAmpersands.size();
  DocumentBuffer decoded;
  decoded.reserve(document.size() + 4 * notes);
  bool changed = false;
  const std::size_t w = decodeInto(document.data(), document.size(), shape, utf8, decoded.data(),
                                   nullptr, changed);
  if (!changed) return false;
  decoded.setSize(w);
  out = std::move(decoded);
  return true;
}

}  // namespace korvo
