#pragma once
// Which charset a downloaded document is written in, and the document
// turned into UTF-8 for the parser.
#include <cstddef>
#include <string>
#include <string_view>

namespace korvo {

struct DocumentCharset {
  unsigned codePage = 0;       // the charset the bytes are read in
  std::size_t bomLength = 0;   // the byte-order mark that starts them
  std::string declared;        // the XML declaration's encoding, as written
  std::string unknownName;     // the name that chose no charset, when one did not
};

// The byte-order mark that starts body (UTF-8, UTF-16 LE or BE): its code
// page and length; codePage 0 when there is none.
DocumentCharset byteOrderMark(std::string_view body);

// byteOrderMark; else UTF-16 without a mark (bomLength 0): when
// httpCharset, the charset of the answer's Content-Type, names UTF-16 (LE,
// BE or either) and the first two bytes are an ASCII character in UTF-16,
// in the order they write it; or when the first four bytes spell "<?" in
// UTF-16 LE or BE (XML's own detection). codePage 0 for any other document.
DocumentCharset wideCharset(std::string_view body, std::string_view httpCharset);

// Whether bytes hold ascii, ASCII mark-up such as a closing tag, as a
// document writes it: byte for byte, or in UTF-16 LE or BE, which only a
// document holding zero bytes can be in.
bool holdsAscii(std::string_view bytes, std::string_view ascii);

// In this order: wideCharset; else the encoding of the XML declaration;
// else httpCharset; else UTF-8. A name names a charset as
// charset::codePageForCharset reads it; a name it does not know, and UTF-16
// named by a document without its byte-order mark (its declaration was
// read as ASCII, so it is not UTF-16), give UTF-8 when the bytes are
// well-formed UTF-8, else windows-1252.
DocumentCharset documentCharset(std::string_view body, std::string_view httpCharset);

// The encoding named by an XML declaration at the start of text (after
// white space), as written; empty when there is none.
std::string_view xmlDeclarationEncoding(std::string_view text);

// Whether text is well-formed UTF-8 throughout.
bool isWellFormedUtf8(std::string_view text);

// Replaces body, read in charset.codePage after its byte-order mark, by
// its UTF-8. What TinyXML would read differently in UTF-8 is left out: the
// text ends at its first zero character, and U+FEFF, U+FFFE and U+FFFF,
// which it skips as blanks, are dropped. In UTF-8, a byte that is no part
// of a well-formed sequence is read as a windows-1252 character (feeds that
// mix the two are common); bytes of other charsets that are no character
// are dropped.
void convertToUtf8(std::string& body, const DocumentCharset& charset);

}  // namespace korvo
