#pragma once
// A linear walk, without recursion, over a document as TinyXML reads it in
// its single-byte mode. It finds the tree that TinyXML would build without
// building it, so that a document whose tree would be too deep, too large
// or too slow to build is refused before TinyXML, which parses and frees
// its tree recursively, sees it.
#include <cstddef>
#include <string_view>
#include <vector>

#include "base/limits.h"

namespace korvo {

enum class XmlPrescanResult { Accepted, TooDeep, TooManyAttributes, TooManyElements };

// Passing maxDepth or maxNodeLevels gives TooDeep, maxAttributes,
// maxAttributePairs or maxAttributesInAll TooManyAttributes, maxElements
// or maxNodes TooManyElements.
struct XmlLimits {
  int maxDepth = limits::kMaxXmlDepth;
  int maxAttributes = limits::kMaxXmlAttributes;
  long maxElements = limits::kMaxXmlElements;
  long maxNodes = limits::kMaxXmlNodes;
  long long maxNodeLevels = limits::kMaxXmlNodeLevels;
  long long maxAttributePairs = limits::kMaxXmlAttributePairs;
  long maxAttributesInAll = limits::kMaxXmlAttributesInAll;
};

// What the walk found up to where TinyXML stops reading.
struct XmlShape {
  long elements = 0;    // elements TinyXML creates
  int depth = 0;        // deepest element nesting; the document element is at 1
  int attributes = 0;   // most attributes kept on one element
  long nodes = 0;       // mark-up nodes: elements, comments, CDATA sections, the rest "<...>"
  long long nodeLevels = 0;      // the depths of the mark-up nodes added up
  long long attributePairs = 0;  // k(k-1)/2 for an element with k attributes, added up
  long attributesInAll = 0;
  bool parseError = false;       // TinyXML reports an error for this text
  // Some element text holds an "&" that starts none of XML's five names
  // (a number, another name, or none), or an element's quoted attribute
  // value one that starts neither such a name nor a number.
  bool otherNames = false;
  // Where each of those starts (its "&"), in text order.
  std::vector<std::size_t> references;           // in element text
  std::vector<std::size_t> attributeAmpersands;  // in attribute values
  // Bytes of 0x80 and above inside the text nodes walked. When these are
  // all such bytes of the document, a change to them alone cannot change
  // the tree's shape: the character-set step changes no other bytes, and
  // writes no "<" or "&".
  std::size_t highBytesInText = 0;
  // Bytes of 0x80 and above in the whole text, walked or not (after a
  // zero byte too), counted in the same walk.
  std::size_t highBytes = 0;
  // When the first node is an XML declaration: the length of the text
  // that holds it (all of it when the declaration has no end); else 0.
  std::size_t declarationLength = 0;
};

// text is taken as TinyXML takes a zero-terminated string: up to its first
// zero byte. A refusal comes as soon as a bound is passed; the shape, when
// asked for, tells what was found up to there.
XmlPrescanResult prescanXml(std::string_view text, const XmlLimits& limits = XmlLimits(),
                            XmlShape* shape = nullptr);

// An element whose content holds mark-up (a nested element, a comment, a
// CDATA section or any other "<...>" node), as the walk finds it: its
// number among the document's elements in document order (the first is
// 0), its name, and where its content starts, just after its start tag.
struct XmlMarkedElement {
  long element = 0;
  std::size_t nameAt = 0;
  std::size_t nameLength = 0;
  std::size_t contentAt = 0;
};

// The elements of text whose content holds mark-up, in document order, as
// far as the walk goes (a document TinyXML fails on may lack some).
std::vector<XmlMarkedElement> markedElements(std::string_view text);

// One mark-up node inside an element's content, text[begin, end): a start
// or end tag, a comment, a CDATA section (cdata), any other "<...>".
struct XmlMarkupNode {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool cdata = false;
};

// The mark-up nodes at every depth of the content of element (one of
// markedElements(text)), in text order, and in end where its end tag
// starts. False when the walk does not reach that end tag.
bool markupOfContent(std::string_view text, const XmlMarkedElement& element,
                     std::vector<XmlMarkupNode>& nodes, std::size_t& end);

// "Document nested too deeply.", "Too many attributes." or "Too many
// elements."; the empty text for Accepted.
const char* prescanMessage(XmlPrescanResult result);

}  // namespace korvo
