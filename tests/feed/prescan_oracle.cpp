// The pre-scan and the decoding of references as they were first
// written, plainly, one byte or reference at a time: the reference the
// fast ones are checked against.
#include "feed/prescan_oracle.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "feed/byte_blocks.h"
#include "text/character_reference.h"

namespace korvo::test {
namespace {

// Where TinyXML's read pointer becomes null: it reads no further.
constexpr std::size_t kStop = std::string_view::npos;

// TinyXML's character classes, taken from the same library calls once per
// walk, so that both agree whatever the process's locale.
class CharClasses {
 public:
  CharClasses() {
    for (int c = 0; c < 256; ++c) {
      const bool alpha = c >= 127 || std::isalpha(c);
      const bool alnum = c >= 127 || std::isalnum(c);
      space_[c] = std::isspace(c) || c == '\n' || c == '\r';
      nameStart_[c] = c != 0 && (alpha || c == '_');
      nameChar_[c] = c != 0 && (alnum || c == '_' || c == '-' || c == '.' || c == ':');
      lower_[c] = static_cast<unsigned char>(std::tolower(c));
    }
  }
  bool space(unsigned char c) const { return space_[c]; }
  bool nameStart(unsigned char c) const { return nameStart_[c]; }
  bool nameChar(unsigned char c) const { return nameChar_[c]; }
  unsigned char lower(unsigned char c) const { return lower_[c]; }

 private:
  bool space_[256];
  bool nameStart_[256];
  bool nameChar_[256];
  unsigned char lower_[256];
};

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(unsigned char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The names of the attributes of the element being read: TinyXML refuses
// an element that repeats one. Slots of earlier elements are told apart by
// their stamp, so starting an element costs nothing.
class AttributeNames {
 public:
  void startElement() {
    ++stamp_;
    count_ = 0;
  }

  // False when the element already has an attribute of that name.
  bool add(std::string_view name) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    if (!insert(name)) return false;
    ++count_;
    return true;
  }

 private:
  struct Slot {
    std::size_t stamp = 0;
    std::string_view name;
  };

  static std::size_t hash(std::string_view name) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  bool insert(std::string_view name) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(name) & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.stamp != stamp_) {
        slot = Slot{stamp_, name};
        return true;
      }
      if (slot.name == name) return false;
    }
  }

  void grow() {
    std::vector<Slot> old(slots_.size() < 16 ? 16 : slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.stamp == stamp_) insert(slot.name);
  }

  std::vector<Slot> slots_;
  std::size_t stamp_ = 1;
  std::size_t count_ = 0;
};

class Walk {
 public:
  Walk(std::string_view text, const XmlLimits& limits, XmlShape& shape)
      : s_(reinterpret_cast<const unsigned char*>(text.data())),
        n_(std::min(text.size(), text.find('\0'))),
        size_(text.size()),
        limits_(limits),
        shape_(shape) {}

  XmlPrescanResult run();

  // The bytes of 0x80 and above in the whole text, the walk's count
  // completed over what it did not reach.
  std::size_t highBytes() {
    countTo(size_);
    return high_;
  }

  // Notes the elements whose content holds mark-up into *marked as run()
  // walks.
  void noteMarkedElements(std::vector<XmlMarkedElement>* marked) { marked_ = marked; }

 private:
  // TinyXML reads a zero-terminated string: nothing after the first zero
  // byte exists for it.
  unsigned char at(std::size_t i) const { return i < n_ ? s_[i] : 0; }

  // The first position at or after p that holds c, or the end.
  std::size_t find(std::size_t p, unsigned char c) const {
    if (p >= n_) return p;
    const void* hit = std::memchr(s_ + p, c, n_ - p);
    return hit ? static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - s_) : n_;
  }

  // The high bytes are counted as the walk goes: those before counted_
  // are in high_. The scans over text, values, comments and sections count
  // their own bytes block by block as they look for their ends; countTo
  // takes in the few bytes read one at a time between them (names, blanks,
  // references).
  void countTo(std::size_t p) {
    using blocks::Blocks;
    if (p <= counted_) return;
    for (; size_ - counted_ >= Blocks::kSize; counted_ += Blocks::kSize) {
      const std::uint32_t high = Blocks::look<>(s_ + counted_).high;
      if (p - counted_ <= Blocks::kSize) {
        high_ += blocks::countBits(high & blocks::below(static_cast<unsigned>(p - counted_)));
        counted_ = p;
        return;
      }
      high_ += blocks::countBits(high);
    }
    for (; counted_ < p; ++counted_) high_ += s_[counted_] >> 7;
  }

  // Counts the high bytes of block b (at p) below bit i, up to p + i.
  void countBlock(std::size_t p, const blocks::Bits& b, unsigned i) {
    high_ += blocks::countBits(b.high & blocks::below(i));
    counted_ = p + i;
  }

  // The first position at or after p that holds one of Stops, or the end.
  template <unsigned char... Stops>
  std::size_t scanTo(std::size_t p) {
    using blocks::Blocks;
    countTo(p);
    for (; n_ - p >= Blocks::kSize; p += Blocks::kSize) {
      const blocks::Bits b = Blocks::look<Stops...>(s_ + p);
      if (b.stops != 0) {
        const unsigned i = blocks::lowestBit(b.stops);
        countBlock(p, b, i);
        return p + i;
      }
      countBlock(p, b, Blocks::kSize);
    }
    while (p < n_ && ((s_[p] != Stops) && ...)) ++p;
    countTo(p);
    return p;
  }

  // Content from p, element text (End "<") or a quoted attribute value (End
  // its quote), up to the first End outside numeric references: where that
  // is, or the end. Each "&" that is neither one of XML's five names nor,
  // in a value, a number, goes to notes when given; a numeric reference
  // is stepped over whole (referenceEnd), and one TinyXML fails on gives
  // kStop.
  template <unsigned char End>
  std::size_t contentEnd(std::size_t p, std::vector<std::size_t>* notes, bool noteNumbers);

  // Blanks, as TinyXML skips them; kStop from kStop or the end (every
  // byte before n_ is other than zero).
  std::size_t skipSpace(std::size_t p) const {
    if (p >= n_) return kStop;
    while (p < n_ && classes_.space(s_[p])) ++p;
    return p;
  }

  // The same, a block at a time over the spaces and line ends that indent
  // a document (the other blanks one at a time).
  std::size_t skipBlanks(std::size_t p) const {
    using blocks::Blocks;
    if (p >= n_) return kStop;
    if (!classes_.space(s_[p])) return p;
    for (; n_ - p >= Blocks::kSize; p += Blocks::kSize) {
      const std::uint32_t others = ~Blocks::look<' ', '\n'>(s_ + p).stops;
      if ((others & blocks::below(Blocks::kSize)) != 0) {
        p += blocks::lowestBit(others);
        break;
      }
    }
    while (p < n_ && classes_.space(s_[p])) ++p;
    return p;
  }

  bool startsWith(std::size_t p, std::string_view lit) const {
    if (p > n_ || n_ - p < lit.size()) return false;
    for (std::size_t k = 0; k < lit.size(); ++k)
      if (s_[p + k] != static_cast<unsigned char>(lit[k])) return false;
    return true;
  }

  // Whether the bytes at p are those of name; there are as many.
  bool sameBytes(std::size_t p, std::string_view name) const {
    // A name of up to eight bytes lies in the text before p, so eight
    // bytes can be read at both where eight are left after p.
    if (name.size() > 8 || n_ - p < 8) return std::memcmp(s_ + p, name.data(), name.size()) == 0;
    const std::uint64_t differ =
        blocks::loadWord(s_ + p) ^
        blocks::loadWord(reinterpret_cast<const unsigned char*>(name.data()));
    return name.empty() || (differ & (~std::uint64_t{0} >> (64 - 8 * name.size()))) == 0;
  }

  bool startsWithNoCase(std::size_t p, std::string_view lit) const {
    for (std::size_t k = 0; k < lit.size(); ++k) {
      const unsigned char c = at(p + k);
      if (c == 0 || classes_.lower(c) != classes_.lower(static_cast<unsigned char>(lit[k])))
        return false;
    }
    return true;
  }

  std::size_t readName(std::size_t p) const {
    if (!classes_.nameStart(at(p))) return kStop;
    while (p < n_ && classes_.nameChar(s_[p])) ++p;
    return p;
  }

  std::size_t referenceEnd(std::size_t p) const;
  // referenceEnd of "&#" at p with a byte after it.
  inline std::size_t numberEnd(std::size_t p) const;
  std::size_t quotedEnd(std::size_t p, unsigned char quote, bool noteAmpersands);
  inline bool isXmlName(std::size_t p) const;
  std::size_t textEnd(std::size_t p);
  std::size_t attributeEnd(std::size_t p, std::string_view* name);
  std::size_t declarationEnd(std::size_t p);
  std::size_t commentEnd(std::size_t p);
  std::size_t cdataEnd(std::size_t p);
  std::size_t unknownEnd(std::size_t p);

  // Counts a mark-up node about to be made at the current depth; false,
  // with the refusal set, when that passes a bound.
  bool countNode(bool element, XmlPrescanResult* refusal);

  // Reads a start tag from its "<" and opens the element unless it is
  // empty; kStop when TinyXML fails in it or a bound is passed.
  std::size_t startTag(std::size_t p, XmlPrescanResult* refusal);

  // Reads the node at p, as TinyXML's loop over a document's or an
  // element's nodes does: where reading goes on after it, or kStop. A
  // refusal is set in refusal; a start tag TinyXML fails in sets tagFailed_.
  std::size_t node(std::size_t p, bool& anyNode, XmlPrescanResult& refusal);
  // The two kinds of node that most of a document is: a text node at p,
  // and an end tag at p (of the innermost open element).
  inline std::size_t textNode(std::size_t p);
  inline std::size_t endTag(std::size_t p);
  // The nodes that are neither text nor elements, which documents hold
  // few of.
  __attribute__((noinline)) std::size_t otherNode(std::size_t p, bool firstNode,
                                                  XmlPrescanResult& refusal);

  // What noteMarkedElements and content() ask for.
  void noteMarkup(std::size_t begin, std::size_t end, bool cdata);
  void noteOpen(std::size_t nameStart, std::size_t nameLength, std::size_t contentAt);
  void noteClose();

  const unsigned char* s_;
  std::size_t n_;
  std::size_t size_;  // n_ and whatever follows a zero byte
  std::size_t counted_ = 0;
  std::size_t high_ = 0;
  const XmlLimits& limits_;
  XmlShape& shape_;
  std::vector<std::string_view> open_;  // the elements whose content is being read
  AttributeNames attributeNames_;
  CharClasses classes_;
  bool tagFailed_ = false;
  // With noteMarkedElements: each open element, and whether its content
  // has held mark-up so far.
  std::vector<XmlMarkedElement>* marked_ = nullptr;
  std::vector<std::pair<XmlMarkedElement, bool>> openMarked_;
  std::vector<XmlMarkupNode>* nodes_ = nullptr;  // with content()
};

// Where reading goes on after the "&" at p. A named escape ("&amp;" and
// the like) holds no byte that could end a text or a value, so stepping
// over the "&" alone lands the walk where TinyXML goes on. A numeric
// reference runs to the next ";" wherever that is, and is taken when the
// characters just before the ";" are digits back to the last "#" (or
// "x"), so it may swallow mark-up; when they are not, TinyXML fails.
std::size_t Walk::referenceEnd(std::size_t p) const {
  if (at(p + 1) != '#' || at(p + 2) == 0) return p + 1;
  const bool hex = at(p + 2) == 'x';
  if (hex && at(p + 3) == 0) return kStop;
  // Most are digits up to the ";".
  std::size_t q = p + (hex ? 3 : 2);
  if (hex) {
    while (q < n_ && isHexDigit(s_[q])) ++q;
  } else {
    while (q < n_ && static_cast<unsigned char>(s_[q] - '0') < 10) ++q;
  }
  if (at(q) == ';') return q + 1;
  const std::size_t semicolon = find(q, ';');
  if (at(semicolon) != ';') return kStop;
  for (std::size_t r = semicolon - 1; at(r) != (hex ? 'x' : '#'); --r)
    if (!(hex ? isHexDigit(at(r)) : isDigit(at(r)))) return kStop;
  return semicolon + 1;
}

template <unsigned char End>
std::size_t Walk::contentEnd(std::size_t p, std::vector<std::size_t>* notes, bool noteNumbers) {
  using blocks::Blocks;
  countTo(p);
  for (;;) {
    if (n_ - p >= Blocks::kSize) {
      const blocks::Bits b = Blocks::look<End, '&'>(s_ + p);
      std::uint32_t stops = b.stops;
      std::size_t resume = kStop;  // where a reference beyond the block ends
      while (stops != 0) {
        const unsigned i = blocks::lowestBit(stops);
        const std::size_t q = p + i;
        if (s_[q] == End) {
          countBlock(p, b, i);
          return q;
        }
        const bool number = at(q + 1) == '#';
        if (notes && (number ? noteNumbers : !isXmlName(q))) {
          shape_.otherNames = true;
          notes->push_back(q);
        }
        if (number && at(q + 2) != 0) {
          const std::size_t end = numberEnd(q);
          if (end == kStop) return kStop;
          // A reference that ends inside the block leaves the rest of
          // the block's stops to be read.
          if (end - p < Blocks::kSize) {
            stops &= ~blocks::below(static_cast<unsigned>(end - p));
            continue;
          }
          resume = end;
          break;
        }
        stops &= stops - 1;
      }
      countBlock(p, b, Blocks::kSize);
      p += Blocks::kSize;
      if (resume != kStop) {
        p = resume;
        countTo(p);
      }
      continue;
    }
    // The last bytes, one at a time.
    while (p < n_ && s_[p] != End && s_[p] != '&') ++p;
    countTo(p);
    if (at(p) != '&') return p;
    const bool number = at(p + 1) == '#';
    if (notes && (number ? noteNumbers : !isXmlName(p))) {
      shape_.otherNames = true;
      notes->push_back(p);
    }
    p = referenceEnd(p);
    if (p == kStop) return kStop;
    countTo(p);
  }
}

// A decimal number of up to seven digits and its ";", in one word, the
// way most are written; anything else the long way.
std::size_t Walk::numberEnd(std::size_t p) const {
  const std::size_t digits = p + 2;
  if (s_[digits] != 'x' && n_ - digits >= 8) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr std::uint64_t kTop = ~kLow7;
    // Each byte as its value minus '0'; the top bit set in each that is
    // then above 9, one byte apart from the next.
    const std::uint64_t t = blocks::loadWord(s_ + digits) ^ 0x3030303030303030ull;
    const std::uint64_t other = (((t & kLow7) + 0x7676767676767676ull) | t) & kTop;
    if (other != 0) {
      const std::size_t end = digits + static_cast<std::size_t>(__builtin_ctzll(other)) / 8;
      if (s_[end] == ';') return end + 1;
    }
  }
  return referenceEnd(p);
}

// An attribute value from just after its opening quote. noteAmpersands:
// it is an element's, whose "&"s TinyXML would drop are noted.
std::size_t Walk::quotedEnd(std::size_t p, unsigned char quote, bool noteAmpersands) {
  std::vector<std::size_t>* notes = noteAmpersands ? &shape_.attributeAmpersands : nullptr;
  p = quote == '"' ? contentEnd<'"'>(p, notes, false) : contentEnd<'\''>(p, notes, false);
  return at(p) == quote ? p + 1 : p;
}

// Whether the "&" at p starts one of XML's five names, the only ones
// TinyXML knows: of any other "&" but a number it keeps nothing.
bool Walk::isXmlName(std::size_t p) const {
  if (n_ - p >= 6) {
    const unsigned char* c = s_ + p;
    if (std::memcmp(c, "&lt;", 4) == 0 || std::memcmp(c, "&gt;", 4) == 0) return true;
    if (std::memcmp(c, "&amp", 4) == 0) return c[4] == ';';
    return std::memcmp(c, "&quot;", 6) == 0 || std::memcmp(c, "&apos;", 6) == 0;
  }
  for (std::string_view known : {"amp;", "lt;", "gt;", "quot;", "apos;"}) {
    std::size_t k = 0;
    while (k < known.size() && at(p + 1 + k) == static_cast<unsigned char>(known[k])) ++k;
    if (k == known.size()) return true;
  }
  return false;
}

// A text node runs to the next "<" outside references. Every "&" but
// XML's five names is noted: a number TinyXML may cut to a byte, and of
// anything else it would keep no "&".
std::size_t Walk::textEnd(std::size_t p) {
  p = contentEnd<'<'>(p, &shape_.references, true);
  return p != kStop && at(p) == '<' && at(p + 1) != 0 ? p : kStop;
}

std::size_t Walk::attributeEnd(std::size_t p, std::string_view* name) {
  p = skipSpace(p);
  if (p == kStop) return kStop;
  const std::size_t nameStart = p;
  p = readName(p);
  if (p == kStop || at(p) == 0) return kStop;
  if (name) *name = std::string_view(reinterpret_cast<const char*>(s_) + nameStart, p - nameStart);
  p = skipSpace(p);
  if (p == kStop || at(p) != '=') return kStop;
  p = skipSpace(p + 1);
  if (p == kStop) return kStop;
  const unsigned char quote = at(p);
  if (quote == '"' || quote == '\'') return quotedEnd(p + 1, quote, name != nullptr);
  for (; at(p) != 0 && !classes_.space(at(p)) && at(p) != '/' && at(p) != '>'; ++p)
    if (at(p) == '"' || at(p) == '\'') return kStop;
  return p;
}

// An XML declaration ends at a ">" outside its version, encoding and
// standalone values; one without an end stops TinyXML without an error.
std::size_t Walk::declarationEnd(std::size_t p) {
  p += 5;
  while (at(p) != 0) {
    if (at(p) == '>') return p + 1;
    p = skipSpace(p);
    if (at(p) == 0) break;
    if (startsWithNoCase(p, "version") || startsWithNoCase(p, "encoding") ||
        startsWithNoCase(p, "standalone")) {
      p = attributeEnd(p, nullptr);
      if (p == kStop) break;
    } else {
      while (at(p) != 0 && at(p) != '>' && !classes_.space(at(p))) ++p;
    }
  }
  return kStop;
}

std::size_t Walk::commentEnd(std::size_t p) {
  for (p += 4;; ++p) {
    p = scanTo<'-'>(p);
    if (at(p) == 0) return p;
    if (startsWith(p, "-->")) return p + 3;
  }
}

std::size_t Walk::cdataEnd(std::size_t p) {
  for (p += 9;; ++p) {
    p = scanTo<']'>(p);
    if (at(p) == 0) return p;
    if (startsWith(p, "]]>")) return p + 3;
  }
}

std::size_t Walk::unknownEnd(std::size_t p) {
  p = scanTo<'>'>(p + 1);
  return at(p) == '>' ? p + 1 : p;
}

bool Walk::countNode(bool element, XmlPrescanResult* refusal) {
  const int depth = static_cast<int>(open_.size()) + 1;
  if (element) {
    if (++shape_.elements > limits_.maxElements) {
      *refusal = XmlPrescanResult::TooManyElements;
      return false;
    }
    if (depth > shape_.depth) shape_.depth = depth;
    if (depth > limits_.maxDepth) {
      *refusal = XmlPrescanResult::TooDeep;
      return false;
    }
  }
  if (++shape_.nodes > limits_.maxNodes) {
    *refusal = XmlPrescanResult::TooManyElements;
    return false;
  }
  shape_.nodeLevels += depth;
  if (shape_.nodeLevels > limits_.maxNodeLevels) {
    *refusal = XmlPrescanResult::TooDeep;
    return false;
  }
  return true;
}

std::size_t Walk::startTag(std::size_t p, XmlPrescanResult* refusal) {
  if (!countNode(true, refusal)) return kStop;
  const std::size_t nameStart = skipSpace(p + 1);
  p = readName(nameStart);
  if (p == kStop || at(p) == 0) return kStop;
  const std::string_view name(reinterpret_cast<const char*>(s_) + nameStart, p - nameStart);
  if (s_[p] == '>') {  // the name alone, as most are
    open_.push_back(name);
    if (marked_) noteOpen(nameStart, name.size(), p + 1);
    return p + 1;
  }
  attributeNames_.startElement();
  int attributes = 0;
  for (;;) {
    p = skipSpace(p);
    if (p == kStop) return kStop;
    if (at(p) == '/') return at(p + 1) == '>' ? p + 2 : kStop;
    if (at(p) == '>') {
      open_.push_back(name);
      if (marked_) noteOpen(nameStart, name.size(), p + 1);
      return p + 1;
    }
    std::string_view attributeName;
    const std::size_t end = attributeEnd(p, &attributeName);
    if (end == kStop || at(end) == 0 || !attributeNames_.add(attributeName)) return kStop;
    shape_.attributePairs += attributes;
    ++shape_.attributesInAll;
    if (++attributes > shape_.attributes) shape_.attributes = attributes;
    if (attributes > limits_.maxAttributes || shape_.attributePairs > limits_.maxAttributePairs ||
        shape_.attributesInAll > limits_.maxAttributesInAll) {
      *refusal = XmlPrescanResult::TooManyAttributes;
      return kStop;
    }
    p = end;
  }
}

void Walk::noteMarkup(std::size_t begin, std::size_t end, bool cdata) {
  if (nodes_) nodes_->push_back({begin, end == kStop ? n_ : end, cdata});
  if (marked_ && !openMarked_.empty()) openMarked_.back().second = true;
}

void Walk::noteOpen(std::size_t nameStart, std::size_t nameLength, std::size_t contentAt) {
  openMarked_.push_back({{shape_.elements - 1, nameStart, nameLength, contentAt}, false});
}

void Walk::noteClose() {
  if (openMarked_.back().second) marked_->push_back(openMarked_.back().first);
  openMarked_.pop_back();
}

std::size_t Walk::textNode(std::size_t p) {
  countTo(p);
  const std::size_t before = high_;
  p = textEnd(p);
  if (p == kStop) countTo(n_);
  shape_.highBytesInText += high_ - before;
  return p;
}

std::size_t Walk::endTag(std::size_t p) {
  const std::size_t start = p;
  const std::string_view name = open_.back();
  p += 2;
  if (n_ - p <= name.size() || !sameBytes(p, name)) return kStop;
  p += name.size();
  if (s_[p] != '>') p = skipSpace(p);
  if (p == kStop || at(p) != '>') return kStop;
  open_.pop_back();
  if (marked_) noteClose();
  if (nodes_) nodes_->push_back({start, p + 1, false});
  return p + 1;
}

std::size_t Walk::node(std::size_t p, bool& anyNode, XmlPrescanResult& refusal) {
  if (at(p) != '<') return textNode(p);
  if (!open_.empty() && at(p + 1) == '/') return endTag(p);
  const std::size_t start = p;
  const bool firstNode = !anyNode;
  anyNode = true;
  if (classes_.nameStart(at(p + 1))) {
    // The element is a node of the content it stands in, opened after it.
    if (marked_ && !openMarked_.empty()) openMarked_.back().second = true;
    p = startTag(p, &refusal);
    if (p == kStop) {
      tagFailed_ = refusal == XmlPrescanResult::Accepted;
      return kStop;
    }
    if (nodes_) nodes_->push_back({start, p, false});
    return p;
  }
  return otherNode(p, firstNode, refusal);
}

std::size_t Walk::otherNode(std::size_t p, bool firstNode, XmlPrescanResult& refusal) {
  const std::size_t start = p;
  const unsigned char next = at(p + 1);
  if (!countNode(false, &refusal)) return kStop;
  bool cdata = false;
  if (next == '?' && startsWithNoCase(p, "<?xml")) {
    p = declarationEnd(p);
    if (firstNode) shape_.declarationLength = p == kStop ? n_ : p;
  } else if (next == '!' && startsWith(p, "<!--")) {
    p = commentEnd(p);
  } else if (next == '!' && startsWith(p, "<![CDATA[")) {
    p = cdataEnd(p);
    cdata = true;
  } else {
    p = unknownEnd(p);
  }
  noteMarkup(start, p, cdata);
  return p;
}

// Follows TinyXML's parse of a document and of element content, a loop
// over nodes in which an element's start tag pushes its name and its end
// tag pops it. Wherever TinyXML's read pointer becomes null, or it meets
// the zero byte, it reads no further, and neither does the walk.
XmlPrescanResult Walk::run() {
  XmlPrescanResult refusal = XmlPrescanResult::Accepted;
  bool anyNode = false;
  std::size_t p = skipSpace(0);
  while (p < n_) {
    if (s_[p] != '<') {
      // Text outside every element ends the document without an error.
      if (open_.empty()) break;
      p = textNode(p);
    } else if (!open_.empty() && at(p + 1) == '/') {
      p = endTag(p);
    } else if (classes_.nameStart(at(p + 1))) {
      anyNode = true;
      if (marked_ && !openMarked_.empty()) openMarked_.back().second = true;
      p = startTag(p, &refusal);
      if (p == kStop) {
        shape_.parseError = refusal == XmlPrescanResult::Accepted;
        return refusal;
      }
    } else {
      p = node(p, anyNode, refusal);
      if (refusal != XmlPrescanResult::Accepted) return refusal;
      if (tagFailed_) {
        shape_.parseError = true;
        return refusal;
      }
    }
    p = skipBlanks(p);
  }
  // Inside an element every early end is an error; outside, only a
  // document without any node is.
  shape_.parseError = !open_.empty() || !anyNode;
  return refusal;
}

// Whether the "&" at the start of text begins one of XML's five names,
// which TinyXML reads itself. Most references in a feed are these, so they
// are told apart before any table is asked.
bool startsXmlName(std::string_view text) {
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

XmlPrescanResult oraclePrescan(std::string_view text, XmlShape& shape) {
  shape = XmlShape();
  const XmlLimits limits;
  Walk walk(text, limits, shape);
  const XmlPrescanResult result = walk.run();
  shape.highBytes = walk.highBytes();
  return result;
}

void oracleDecode(std::string& document, const XmlShape& shape, bool utf8) {
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
    if (startsXmlName(text.substr(amp))) continue;
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

}  // namespace korvo::test
