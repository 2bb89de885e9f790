// Code pages through glibc's iconv. Only the plain charset names are used:
// "//TRANSLIT" would make the result depend on the locale, and what a
// code page lacks is the caller's to handle.
#include "platform/text_conversion.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace korvo::charset::detail {
namespace {

// glibc's own form of code points (UCS-4 in the machine's byte order):
// converters to and from it are single steps. Through "UTF-32LE" each
// character a code page lacks would make iconv convert the rest of its
// buffer again, which is quadratic on text in another script.
static_assert(sizeof(wchar_t) == sizeof(char32_t), "glibc's wchar_t is UCS-4");
constexpr const char* kCodePoints = "WCHAR_T";

// glibc's name of a code page other than UTF-8 and UTF-16.
std::string iconvName(unsigned cp) {
  switch (cp) {
    case 932:
      return "CP932";  // Windows' Shift_JIS, with its extensions
    case 936:
      return "CP936";
    case 949:
      return "CP949";  // EUC-KR and the rest of Windows' Korean
    case 950:
      return "CP950";
    case 866:
      return "CP866";
    case 874:
      return "CP874";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case kEucJp:
      return "EUC-JP";
    case 28603:
      return "ISO-8859-13";
    case 28605:
      return "ISO-8859-15";
    default:
      break;
  }
  if (cp >= 28591 && cp <= 28599) return "ISO-8859-" + std::to_string(cp - 28590);
  return "CP" + std::to_string(cp);  // 1250 .. 1258
}

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

constexpr std::size_t kChunk = 4096;

// Whether the `length` bytes at `in` are one character for cd. Leaves cd
// in its initial state.
bool convertsAlone(iconv_t cd, const char* in, std::size_t length) {
  char32_t out[8];
  char* i = const_cast<char*>(in);
  char* o = reinterpret_cast<char*>(out);
  std::size_t oLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const bool whole = iconv(cd, &i, &length, &o, &oLeft) != static_cast<std::size_t>(-1);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return whole;
}

}  // namespace

void decodeLegacy(unsigned cp, std::string_view bytes, std::u32string& out, std::size_t& dropped) {
  Converter cd(kCodePoints, iconvName(cp).c_str());
  if (!cd.ok()) {
    dropped += bytes.size();
    return;
  }
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char32_t buffer[kChunk];
  for (;;) {
    char* o = reinterpret_cast<char*>(buffer);
    std::size_t oLeft = sizeof buffer;
    // With the input used up, one more call hands over what a stateful
    // decoder (1255, 1258) still holds.
    const bool flushing = inLeft == 0;
    const std::size_t r = flushing ? iconv(cd.get(), nullptr, nullptr, &o, &oLeft)
                                   : iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    const int error = errno;
    out.append(buffer, (sizeof buffer - oLeft) / sizeof(char32_t));
    if (r != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      continue;
    }
    if (error == E2BIG) continue;
    if (flushing) break;
    if (error == EILSEQ) {
      // Mostly `in` is at the sequence that is no character. glibc's CP949
      // takes some undefined pairs in before it says so, leaving `in` after
      // them: the sequence at `in` then converts on its own, and nothing is
      // skipped.
      const auto* s = reinterpret_cast<const unsigned char*>(in);
      const std::size_t length =
          inLeft >= 2 && isLeadByte(cp, s[0]) && isTrailByte(cp, s[1]) ? 2 : 1;
      // (Single-byte pages are left alone: 1255 and 1258 hold a character
      // back, which a reset would lose.)
      if (inLeft > 0 && (!isMultiByte(cp) || !convertsAlone(cd.get(), in, length))) {
        in += length;
        inLeft -= length;
        dropped += length;
      } else {
        ++dropped;
      }
      continue;
    }
    // EINVAL: a character cut off by the end of the bytes.
    dropped += inLeft;
    in += inLeft;
    inLeft = 0;
  }
}

void encodeLegacy(unsigned cp, std::u32string_view text, std::string& out, std::vector<Gap>& gaps) {
  Converter cd(iconvName(cp).c_str(), kCodePoints);
  if (!cd.ok()) {
    for (std::size_t i = 0; i < text.size(); ++i) gaps.push_back(Gap{i, out.size()});
    return;
  }
  out.reserve(out.size() + text.size());
  const char* start = reinterpret_cast<const char*>(text.data());
  char* in = const_cast<char*>(start);
  std::size_t inLeft = text.size() * sizeof(char32_t);
  char buffer[kChunk];
  for (;;) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    const bool flushing = inLeft == 0;
    const std::size_t r = flushing ? iconv(cd.get(), nullptr, nullptr, &o, &oLeft)
                                   : iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    const int error = errno;
    out.append(buffer, sizeof buffer - oLeft);
    if (r != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      continue;
    }
    if (error == E2BIG) continue;
    if (flushing || inLeft < sizeof(char32_t)) break;
    // EILSEQ: the code page has no character for this one.
    gaps.push_back(Gap{static_cast<std::size_t>(in - start) / sizeof(char32_t), out.size()});
    in += sizeof(char32_t);
    inLeft -= sizeof(char32_t);
  }
}

}  // namespace korvo::charset::detail

namespace korvo::charset {

unsigned systemCodePage() {
  const char* codeset = nl_langinfo(CODESET);
  const unsigned cp = codeset ? codePageForName(codeset) : 0;
  return isTargetCodePage(cp) || cp == kUsAscii ? cp : 0;
}

}  // namespace korvo::charset
