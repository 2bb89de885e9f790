#include "feed/xml_prescan.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "feed/byte_blocks.h"

namespace korvo {
namespace {

// Where TinyXML's read pointer becomes null: it reads no further.
constexpr std::size_t kStop = std::string_view::npos;

// TinyXML's character classes, taken from the same library calls, so that
// both agree whatever the locale of the thread that walks.
class CharClasses {
 public:
  // Left unset: a walk's classes come from classesOfThisThread.
  CharClasses() = default;

  // From the C library, in the calling thread's locale.
  void build() {
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

#if defined(__GLIBC__)
// glibc answers isalpha, isalnum and isspace of a byte from one table of
// the calling thread's locale (*__ctype_b_loc()) and tolower from another
// (*__ctype_tolower_loc()): the classes depend on those tables' entries
// for the 256 bytes and on nothing else. Each thread keeps its classes
// with a copy of the entries they were built from, and builds them again
// when the entries differ, after a setlocale or uselocale that changed
// them. The entries are compared, not the tables' addresses, which could
// be those of another locale's tables once a locale is freed.
struct ThreadClasses {
  bool built;
  unsigned short classTable[256];
  std::int32_t lowerTable[256];
  CharClasses classes;
};
// Zero at first and nothing to destroy: a thread that never walks pays
// nothing, and none registers a destructor in the host's process.
thread_local ThreadClasses threadClasses;

const CharClasses& classesOfThisThread() {
  ThreadClasses& t = threadClasses;
  const unsigned short* const classTable = *__ctype_b_loc();
  const std::int32_t* const lowerTable = *__ctype_tolower_loc();
  if (!t.built || std::memcmp(t.classTable, classTable, sizeof t.classTable) != 0 ||
      std::memcmp(t.lowerTable, lowerTable, sizeof t.lowerTable) != 0) {
    std::memcpy(t.classTable, classTable, sizeof t.classTable);
    std::memcpy(t.lowerTable, lowerTable, sizeof t.lowerTable);
    t.classes.build();
    t.built = true;
  }
  return t.classes;
}
#endif

CharClasses walkClasses() {
#if defined(__GLIBC__)
  return classesOfThisThread();
#else
  // Elsewhere nothing tells when the locale's classes change: each walk
  // builds its own.
  CharClasses classes;
  classes.build();
  return classes;
#endif
}

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(unsigned char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The bytes of text, the first in the lowest byte, as loadWord reads them.
constexpr std::uint64_t word(std::string_view text) {
  std::uint64_t w = 0;
  for (std::size_t k = text.size(); k > 0; --k)
    w = w << 8 | static_cast<unsigned char>(text[k - 1]);
  return w;
}

// The names of the attributes of the element being read: TinyXML refuses
// an element that repeats one. The first few are compared one by one, as
// most elements have no more; beyond them a hash set takes them, whose
// slots of earlier elements are told apart by their stamp, so starting an
// element costs nothing.
class AttributeNames {
 public:
  void startElement() { count_ = 0; }

  // False when the element already has an attribute of that name.
  bool add(std::string_view name) {
    if (count_ < kFew) {
      for (std::size_t i = 0; i < count_; ++i)
        if (few_[i] == name) return false;
      few_[count_++] = name;
      return true;
    }
    if (count_ == kFew) {
      ++stamp_;
      for (const std::string_view earlier : few_) place(earlier);
    }
    if (!place(name)) return false;
    ++count_;
    return true;
  }

 private:
  static constexpr std::size_t kFew = 8;

  struct Slot {
    std::size_t stamp = 0;
    std::string_view name;
  };

  static std::size_t hash(std::string_view name) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  // Into the hash set, which holds count_ names now.
  bool place(std::string_view name) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    return insert(name);
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
    std::vector<Slot> old(slots_.size() < 32 ? 32 : slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.stamp == stamp_) insert(slot.name);
  }

  std::string_view few_[kFew];
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

  // kNoting: with noteMarkedElements or content(), whose notes the plain
  // walk leaves out.
  template <bool kNoting>
  XmlPrescanResult run();

  // Adds the positions in text noted last to the shape.
  void flushNotes() {
    if (heldTextCount_ == 0) return;
    addNotes(shape_.references, heldText_, heldText_ + heldTextCount_, n_);
    heldTextCount_ = 0;
    shape_.otherNames = true;
  }

  // Writes the counts of elements, nodes and depths into the shape.
  void handCounts() {
    shape_.elements = elements_;
    shape_.nodes = nodeCount_;
    shape_.nodeLevels = nodeLevels_;
    shape_.depth = depth_;
  }

  // The bytes of 0x80 and above in the whole text, the walk's count
  // completed over what it did not reach.
  std::size_t highBytes() {
    tally(size_);
    return high_;
  }

  // Notes the elements whose content holds mark-up into *marked as run()
  // walks.
  void noteMarkedElements(std::vector<XmlMarkedElement>* marked) { marked_ = marked; }

  // Walks the content of the element named name from contentAt up to its
  // end tag, whose start goes to end, noting every mark-up node inside
  // into nodes. False when the walk does not reach that end tag.
  bool content(std::size_t contentAt, std::string_view name, std::vector<XmlMarkupNode>& nodes,
               std::size_t& end);

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

  // The high bytes of the whole text are counted a stretch at a time
  // just behind the walk, while the stretch is still in the cache: those
  // before tallied_ are in high_. The walk's own scans count only the
  // high bytes of text nodes.
  static constexpr std::size_t kTallyStretch = 65536;
  void tally(std::size_t p) {
    if (p <= tallied_) return;
    high_ += blocks::highBytes(s_ + tallied_, p - tallied_);
    tallied_ = p;
  }

  // The first position at or after p that holds one of Stops, or the end.
  template <unsigned char... Stops>
  std::size_t scanTo(std::size_t p) {
    using blocks::Blocks;
    for (; n_ - p >= Blocks::kSize; p += Blocks::kSize) {
      const std::uint32_t stops = Blocks::look<Stops...>(s_ + p).stops;
      if (stops != 0) return p + blocks::lowestBit(stops);
    }
    while (p < n_ && ((s_[p] != Stops) && ...)) ++p;
    return p;
  }

  // Content from p, element text (End "<") or a quoted attribute value (End
  // its quote), up to the first End outside numeric references: where that
  // is, or the end. Each "&" that is neither one of XML's five names nor,
  // in a value, a number, goes to notes when given; a numeric reference
  // is stepped over whole (referenceEnd), and one TinyXML fails on gives
  // kStop.
  template <unsigned char End>
  std::size_t contentEnd(std::size_t p, std::vector<std::size_t>* notes);

  // Blanks, as TinyXML skips them; kStop from kStop or the end (every
  // byte before n_ is other than zero).
  std::size_t skipSpace(std::size_t p) const {
    if (p >= n_) return kStop;
    while (p < n_ && classes_.space(s_[p])) ++p;
    return p;
  }

  // The same, a block at a time over the spaces and line ends that indent
  // a document (the other blanks one at a time); most often there are
  // none, and a "<" follows.
  std::size_t skipBlanks(std::size_t p) const {
    using blocks::Blocks;
    if (p >= n_) return kStop;
    if (s_[p] == '<' || !classes_.space(s_[p])) return p;
    for (; n_ - p >= Blocks::kSize; p += Blocks::kSize) {
      const std::uint32_t others = ~Blocks::look<' ', '\n'>(s_ + p).stops;
      if ((others & blocks::below(Blocks::kSize)) != 0) {
        p += blocks::lowestBit(others);
        if (s_[p] == '<') return p;
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
    // A name lies in the text before p, so a word can be read at both
    // wherever one can be read after p.
    const std::size_t length = name.size();
    const auto* const known = reinterpret_cast<const unsigned char*>(name.data());
    if (length >= 8 && length <= 16)
      return blocks::loadWord(s_ + p) == blocks::loadWord(known) &&
             blocks::loadWord(s_ + p + length - 8) == blocks::loadWord(known + length - 8);
    if (length > 8 || n_ - p < 8) return std::memcmp(s_ + p, name.data(), length) == 0;
    const std::uint64_t differ = blocks::loadWord(s_ + p) ^ blocks::loadWord(known);
    return length == 0 || (differ & (~std::uint64_t{0} >> (64 - 8 * length))) == 0;
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

  // readName, trying first the name last read that started with the same
  // two bytes: a document repeats its few names over and over. A name
  // read before holds only name bytes, so the bytes at p are that name
  // when they are the same and the byte after them ends a name.
  std::size_t nameEnd(std::size_t p) {
    if (p >= n_ || n_ - p < 17) return readName(p);
    KnownName& known = knownNames_[(s_[p] * 5u + s_[p + 1]) % kKnownNames];
    const std::size_t length = known.length;
    if (length != 0 && (blocks::loadWord(s_ + p) & known.headMask) == known.head &&
        (length <= 8 || blocks::loadWord(s_ + p + length - 8) == known.tail) &&
        !classes_.nameChar(s_[p + length]))
      return p + length;
    const std::size_t end = readName(p);
    if (end != kStop && end - p <= 16) known = KnownName(s_ + p, end - p);
    return end;
  }

  std::size_t referenceEnd(std::size_t p) const;
  static inline bool isPlainNumber(std::uint64_t w);

  // Positions noted by a scan, added to their vector apart from it, so
  // that the scan keeps its registers. A vector that is full grows to
  // what the notes so far foretell for the whole of the n bytes, rather
  // than doubling over and over, within bounds.
  static constexpr unsigned kHeldNotes = 128;
  __attribute__((noinline)) static void addNotes(std::vector<std::size_t>& notes,
                                                 const std::size_t* held, const std::size_t* end,
                                                 std::size_t n) {
    const std::size_t wanted = notes.size() + static_cast<std::size_t>(end - held);
    if (wanted > notes.capacity()) {
      const std::size_t seen = end[-1] + 1;
      std::size_t grown = std::max(wanted, 2 * notes.capacity());
      if (wanted >= 64) grown = std::max(grown, std::min(n / seen * wanted / 8 * 9, n / 16));
      notes.reserve(grown);
    }
    notes.insert(notes.end(), held, end);
  }
  std::size_t quotedEnd(std::size_t p, unsigned char quote, bool noteAmpersands);
  inline bool isXmlName(std::size_t p) const;
  // The same for the eight bytes from the "&" on, in a word.
  static inline bool isXmlNameWord(std::uint64_t w);
  std::size_t textEnd(std::size_t p);
  __attribute__((always_inline)) inline std::size_t attributeEnd(std::size_t p,
                                                                 std::string_view* name);
  std::size_t declarationEnd(std::size_t p);
  std::size_t commentEnd(std::size_t p);
  std::size_t cdataEnd(std::size_t p);
  std::size_t unknownEnd(std::size_t p);

  // Counts a mark-up node about to be made at the current depth; false,
  // with the refusal set, when that passes a bound.
  inline bool countNode(bool element, XmlPrescanResult* refusal);
  __attribute__((noinline)) bool refuseNode(bool element, XmlPrescanResult* refusal);

  // Reads a start tag from its "<" and opens the element unless it is
  // empty; kStop when TinyXML fails in it or a bound is passed.
  template <bool kNoting>
  inline std::size_t startTag(std::size_t p, XmlPrescanResult* refusal);
  // The rest of a start tag from where its name, at nameStart, ends.
  __attribute__((noinline)) std::size_t attributesEnd(std::size_t p, std::size_t nameStart,
                                                      XmlPrescanResult* refusal);

  // Reads the node at p, as TinyXML's loop over a document's or an
  // element's nodes does: where reading goes on after it, or kStop. A
  // refusal is set in refusal; a start tag TinyXML fails in sets tagFailed_.
  std::size_t node(std::size_t p, bool& anyNode, XmlPrescanResult& refusal);
  // The two kinds of node that most of a document is: a text node at p,
  // and an end tag at p (of the innermost open element).
  inline std::size_t textNode(std::size_t p);
  template <bool kNoting>
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
  std::size_t tallied_ = 0;
  std::size_t high_ = 0;
  const XmlLimits limits_;
  XmlShape& shape_;
  // The counts of the shape, kept here as the walk goes (handCounts).
  long elements_ = 0;
  long nodeCount_ = 0;
  long long nodeLevels_ = 0;
  int depth_ = 0;
  // Positions in text noted and not yet added to the shape (flushNotes).
  std::size_t heldText_[kHeldNotes];
  unsigned heldTextCount_ = 0;
  std::vector<std::string_view> open_;  // the elements whose content is being read
  // A name of up to sixteen bytes as nameEnd compares it: its first
  // eight bytes (those it has, under headMask) and its last eight.
  struct KnownName {
    KnownName() = default;
    KnownName(const unsigned char* name, std::size_t size)
        : headMask(size >= 8 ? ~std::uint64_t{0} : ~std::uint64_t{0} >> (64 - 8 * size)),
          head(blocks::loadWord(name) & headMask),
          tail(size > 8 ? blocks::loadWord(name + size - 8) : 0),
          length(size) {}
    std::uint64_t headMask = 0;
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::size_t length = 0;
  };
  static constexpr std::size_t kKnownNames = 64;
  KnownName knownNames_[kKnownNames];
  AttributeNames attributeNames_;
  // A copy, which the walk's loops read as fast as a member of its own.
  const CharClasses classes_ = walkClasses();
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
std::size_t Walk::contentEnd(std::size_t p, std::vector<std::size_t>* notes) {
  using Blocks = blocks::WideBlocks;
  // Text notes numbers and counts its high bytes; a value does neither.
  constexpr bool kText = End == '<';
  // The loop keeps what it finds in locals, which nothing it stores to
  // can alias, and hands them over where it ends. The positions it notes
  // are gathered first, and added to notes a few at a time: those of text
  // in the walk's own buffer (flushNotes), across text nodes, those of a
  // value here.
  const unsigned char* const s = s_;
  const unsigned char* at = s + p;
  std::size_t high = 0;
  std::size_t valueHeld[kText ? 1 : kHeldNotes];
  std::size_t* const held = kText ? heldText_ : valueHeld;
  std::size_t* heldEnd = held + (kText ? heldTextCount_ : 0);
  const auto flush = [&] {
    addNotes(*notes, held, heldEnd, n_);
    heldEnd = held;
    shape_.otherNames = true;
  };
  // Within a block there is room for a note at each of its bytes, made
  // before the block is read; elsewhere a full buffer is emptied first.
  const auto noteInBlock = [&](const unsigned char* q) {
    *heldEnd++ = static_cast<std::size_t>(q - s);
  };
  const auto note = [&](const unsigned char* q) {
    if (heldEnd == held + kHeldNotes) flush();
    *heldEnd++ = static_cast<std::size_t>(q - s);
  };
  const auto handOver = [&](std::size_t found) {
    if (kText) {
      shape_.highBytesInText += found;
      heldTextCount_ = static_cast<unsigned>(heldEnd - held);
    } else if (heldEnd != held) {
      addNotes(*notes, held, heldEnd, n_);
      shape_.otherNames = true;
    }
  };
  // Blocks with room after them for a reference's bytes to be read a word
  // at a time.
  const unsigned char* const last =
      n_ >= Blocks::kSize + 16 ? s + n_ - Blocks::kSize - 16 : nullptr;
  while (at <= last) {
    const blocks::Split b = Blocks::split<End, '&'>(at);
    // The whole block's high bytes; those after its End are taken back.
    if (kText) high += blocks::countBits(b.high);
    std::uint32_t stops = b.first | b.second;
    if (b.second != 0 && heldEnd > held + (kHeldNotes - Blocks::kSize)) flush();
    const unsigned char* resume = nullptr;  // where a reference beyond the block ends
    while (stops != 0) {
      const unsigned i = blocks::lowestBit(stops);
      if ((b.first >> i & 1) != 0) {
        if (kText) high -= blocks::countBits(Blocks::look<>(at).high & ~blocks::below(i));
        handOver(high);
        return static_cast<std::size_t>(at - s) + i;
      }
      stops &= stops - 1;
      const unsigned char* const q = at + i;
      const std::uint64_t w = blocks::loadWord(q);
      if (static_cast<std::uint16_t>(w) != word("&#")) {
        // Most are XML's own names, which the walk steps over.
        if ((kText || notes) && !isXmlNameWord(w)) noteInBlock(q);
        continue;
      }
      if (kText) noteInBlock(q);
      // Most are decimal digits and their ";", which hold nothing the
      // scan stops at; any other is read the long way.
      if (isPlainNumber(w)) continue;
      const std::size_t end = referenceEnd(static_cast<std::size_t>(q - s));
      if (end == kStop) {
        handOver(high);
        return kStop;
      }
      // A reference that ends inside the block leaves the rest of the
      // block to be read (it may have swallowed an End); one that ends
      // beyond it, the text from its end.
      const std::size_t past = end - static_cast<std::size_t>(at - s);
      if (past < Blocks::kSize) {
        stops &= ~blocks::below(static_cast<unsigned>(past));
      } else {
        if (kText) high += blocks::highBytes(at + Blocks::kSize, past - Blocks::kSize);
        resume = s + end;
        break;
      }
    }
    at = resume != nullptr ? resume : at + Blocks::kSize;
  }
  // The last bytes, one at a time.
  p = static_cast<std::size_t>(at - s);
  for (;;) {
    for (; p < n_ && s[p] != End && s[p] != '&'; ++p)
      if (kText) high += s[p] >> 7;
    if (this->at(p) != '&') break;
    const bool number = this->at(p + 1) == '#';
    if ((kText || notes) && (number ? kText : !isXmlName(p))) note(s + p);
    const std::size_t end = referenceEnd(p);
    if (end == kStop) {
      p = kStop;
      break;
    }
    if (kText) high += blocks::highBytes(s + p, end - p);
    p = end;
  }
  handOver(high);
  return p;
}

// Whether the word w read from an "&#" holds up to five decimal digits
// and their ";", the way most numbers are written: then the reference ends
// at that ";", as referenceEnd finds, and swallows nothing.
bool Walk::isPlainNumber(std::uint64_t w) {
  // Each byte after the "&#" as its value minus '0'; the top bit set in
  // each that is then above 9. A byte of 0x8A and above carries into the
  // next one up, but only above the first non-digit, which is all that is
  // read. The two bytes shifted in are zeros, above 9 too, and no ";".
  const std::uint64_t t = (w >> 16) ^ 0x3030303030303030ull;
  const std::uint64_t other = ((t + 0x7676767676767676ull) | t) & 0x8080808080808080ull;
  const unsigned at = static_cast<unsigned>(__builtin_ctzll(other)) - 7;  // of the first non-digit
  return static_cast<unsigned char>(t >> at) == (';' ^ '0');
}

// An attribute value from just after its opening quote. noteAmpersands:
// it is an element's, whose "&"s TinyXML would drop are noted.
std::size_t Walk::quotedEnd(std::size_t p, unsigned char quote, bool noteAmpersands) {
  using blocks::Blocks;
  // Most values are short and hold no "&": their end is in the first block.
  if (quote == '"' && n_ - p >= Blocks::kSize + 16) {
    const blocks::Split b = Blocks::split<'"', '&'>(s_ + p);
    if (b.first != 0 && (b.second & blocks::below(blocks::lowestBit(b.first))) == 0)
      return p + blocks::lowestBit(b.first) + 1;
  }
  std::vector<std::size_t>* notes = noteAmpersands ? &shape_.attributeAmpersands : nullptr;
  p = quote == '"' ? contentEnd<'"'>(p, notes) : contentEnd<'\''>(p, notes);
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

bool Walk::isXmlNameWord(std::uint64_t w) {
  const auto four = static_cast<std::uint32_t>(w);
  if (four == word("&lt;") || four == word("&gt;")) return true;
  const auto fifth = static_cast<std::uint32_t>(w >> 32);
  if (four == word("&amp")) return (fifth & 0xFF) == ';';
  if (four == word("&quo")) return (fifth & 0xFFFF) == word("t;");
  return four == word("&apo") && (fifth & 0xFFFF) == word("s;");
}

// A text node runs to the next "<" outside references. Every "&" but
// XML's five names is noted: a number TinyXML may cut to a byte, and of
// anything else it would keep no "&".
std::size_t Walk::textEnd(std::size_t p) {
  p = contentEnd<'<'>(p, &shape_.references);
  // Every byte before n_ is other than zero.
  return p != kStop && p + 1 < n_ && s_[p] == '<' ? p : kStop;
}

std::size_t Walk::attributeEnd(std::size_t p, std::string_view* name) {
  p = skipSpace(p);
  if (p == kStop) return kStop;
  const std::size_t nameStart = p;
  p = nameEnd(p);
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
  // Most nodes pass every bound, which is checked at once; the one that
  // passes one is counted again the long way, to tell which.
  const long elements = elements_ + (element ? 1 : 0);
  const long nodes = nodeCount_ + 1;
  const long long levels = nodeLevels_ + depth;
  if (elements <= limits_.maxElements && (!element || depth <= limits_.maxDepth) &&
      nodes <= limits_.maxNodes && levels <= limits_.maxNodeLevels) {
    elements_ = elements;
    if (element && depth > depth_) depth_ = depth;
    nodeCount_ = nodes;
    nodeLevels_ = levels;
    return true;
  }
  return refuseNode(element, refusal);
}

bool Walk::refuseNode(bool element, XmlPrescanResult* refusal) {
  const int depth = static_cast<int>(open_.size()) + 1;
  if (element) {
    if (++elements_ > limits_.maxElements) {
      *refusal = XmlPrescanResult::TooManyElements;
      return false;
    }
    if (depth > depth_) depth_ = depth;
    if (depth > limits_.maxDepth) {
      *refusal = XmlPrescanResult::TooDeep;
      return false;
    }
  }
  if (++nodeCount_ > limits_.maxNodes) {
    *refusal = XmlPrescanResult::TooManyElements;
    return false;
  }
  nodeLevels_ += depth;
  if (nodeLevels_ > limits_.maxNodeLevels) {
    *refusal = XmlPrescanResult::TooDeep;
    return false;
  }
  return true;
}

template <bool kNoting>
std::size_t Walk::startTag(std::size_t p, XmlPrescanResult* refusal) {
  if (!countNode(true, refusal)) return kStop;
  // A byte that starts a name may be a blank too, in some locale.
  const std::size_t nameStart = classes_.space(s_[p + 1]) ? skipSpace(p + 1) : p + 1;
  p = nameEnd(nameStart);
  if (p >= n_) return kStop;  // no name, or nothing after it
  if (s_[p] != '>') return attributesEnd(p, nameStart, refusal);
  // The name alone, as most are.
  open_.push_back(std::string_view(reinterpret_cast<const char*>(s_) + nameStart, p - nameStart));
  if (kNoting && marked_) noteOpen(nameStart, p - nameStart, p + 1);
  return p + 1;
}

std::size_t Walk::attributesEnd(std::size_t p, std::size_t nameStart, XmlPrescanResult* refusal) {
  const std::string_view name(reinterpret_cast<const char*>(s_) + nameStart, p - nameStart);
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
  openMarked_.push_back({{elements_ - 1, nameStart, nameLength, contentAt}, false});
}

void Walk::noteClose() {
  if (openMarked_.back().second) marked_->push_back(openMarked_.back().first);
  openMarked_.pop_back();
}

std::size_t Walk::textNode(std::size_t p) {
  using blocks::Blocks;
  if (p - tallied_ >= kTallyStretch) tally(p);
  // Most text nodes hold no "&" and are short: read here, a block at a
  // time, up to their "<"; the first "&" hands the text on to textEnd.
  std::size_t high = 0;
  while (n_ - p >= Blocks::kSize + 16) {
    const blocks::Split b = Blocks::split<'<', '&'>(s_ + p);
    if (b.first != 0) {
      const std::uint32_t before = blocks::below(blocks::lowestBit(b.first));
      if ((b.second & before) != 0) break;
      shape_.highBytesInText += high + blocks::countBits(b.high & before);
      return p + blocks::lowestBit(b.first);
    }
    if (b.second != 0) break;
    high += blocks::countBits(b.high);
    p += Blocks::kSize;
  }
  shape_.highBytesInText += high;
  return textEnd(p);
}

template <bool kNoting>
std::size_t Walk::endTag(std::size_t p) {
  const std::size_t start = p;
  const std::string_view name = open_.back();
  p += 2;
  if (n_ - p <= name.size() || !sameBytes(p, name)) return kStop;
  p += name.size();
  if (s_[p] != '>') {
    p = skipSpace(p);
    if (p == kStop || at(p) != '>') return kStop;
  }
  open_.pop_back();
  if (kNoting && marked_) noteClose();
  if (kNoting && nodes_) nodes_->push_back({start, p + 1, false});
  return p + 1;
}

std::size_t Walk::node(std::size_t p, bool& anyNode, XmlPrescanResult& refusal) {
  if (at(p) != '<') return textNode(p);
  if (!open_.empty() && at(p + 1) == '/') return endTag<true>(p);
  const std::size_t start = p;
  const bool firstNode = !anyNode;
  anyNode = true;
  if (classes_.nameStart(at(p + 1))) {
    // The element is a node of the content it stands in, opened after it.
    if (marked_ && !openMarked_.empty()) openMarked_.back().second = true;
    p = startTag<true>(p, &refusal);
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
template <bool kNoting>
XmlPrescanResult Walk::run() {
  XmlPrescanResult refusal = XmlPrescanResult::Accepted;
  bool anyNode = false;
  std::size_t p = skipSpace(0);
  while (p < n_) {
    if (s_[p] != '<') {
      // Text outside every element ends the document without an error.
      if (open_.empty()) break;
      p = textNode(p);
      if (p == kStop) break;
      // At the "<" that ends it, with a byte after it.
    }
    const unsigned char next = at(p + 1);
    if (next == '/' && !open_.empty()) {
      p = endTag<kNoting>(p);
    } else if (classes_.nameStart(next)) {
      anyNode = true;
      if (kNoting && marked_ && !openMarked_.empty()) openMarked_.back().second = true;
      p = startTag<kNoting>(p, &refusal);
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

bool Walk::content(std::size_t contentAt, std::string_view name, std::vector<XmlMarkupNode>& nodes,
                   std::size_t& end) {
  open_.push_back(name);
  nodes_ = &nodes;
  tallied_ = contentAt;  // what comes before is no business of this walk
  XmlPrescanResult refusal = XmlPrescanResult::Accepted;
  bool anyNode = true;
  std::size_t p = skipSpace(contentAt);
  while (p != kStop && at(p) != 0) {
    if (open_.size() == 1 && startsWith(p, "</")) {
      // The element's own end tag, which is no node of its content.
      nodes_ = nullptr;
      end = p;
      return node(p, anyNode, refusal) != kStop;
    }
    p = node(p, anyNode, refusal);
    if (refusal != XmlPrescanResult::Accepted || tagFailed_) return false;
    p = skipSpace(p);
  }
  return false;
}

}  // namespace

XmlPrescanResult prescanXml(std::string_view text, const XmlLimits& limits, XmlShape* shape) {
  XmlShape local;
  XmlShape& out = shape ? *shape : local;
  out = XmlShape();
  Walk walk(text, limits, out);
  const XmlPrescanResult result = walk.run<false>();
  walk.handCounts();
  walk.flushNotes();
  out.highBytes = walk.highBytes();
  return result;
}

std::vector<XmlMarkedElement> markedElements(std::string_view text) {
  const XmlLimits limits;
  XmlShape shape;
  std::vector<XmlMarkedElement> marked;
  Walk walk(text, limits, shape);
  walk.noteMarkedElements(&marked);
  walk.run<true>();
  // Noted as each closes: inner ones first.
  std::sort(marked.begin(), marked.end(), [](const XmlMarkedElement& a, const XmlMarkedElement& b) {
    return a.element < b.element;
  });
  return marked;
}

bool markupOfContent(std::string_view text, const XmlMarkedElement& element,
                     std::vector<XmlMarkupNode>& nodes, std::size_t& end) {
  nodes.clear();
  const XmlLimits limits;
  XmlShape shape;
  Walk walk(text, limits, shape);
  if (element.nameAt + element.nameLength > text.size()) return false;
  return walk.content(element.contentAt, text.substr(element.nameAt, element.nameLength), nodes,
                      end);
}

const char* prescanMessage(XmlPrescanResult result) {
  switch (result) {
    case XmlPrescanResult::TooDeep:
      return "Document nested too deeply.";
    case XmlPrescanResult::TooManyAttributes:
      return "Too many attributes.";
    case XmlPrescanResult::TooManyElements:
      return "Too many elements.";
    case XmlPrescanResult::Accepted:
      break;
  }
  return "";
}

}  // namespace korvo
