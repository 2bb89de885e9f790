#include "feed/xml_prescan.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cctype>
#include <clocale>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#if defined(__GLIBC__)
#include <locale.h>
#endif

#include "feed/byte_blocks.h"
#include "feed/prescan_oracle.h"
#include "feed/xml_document.h"
#include "support/prerequisite.h"

namespace korvo {
namespace {

// What TinyXML itself builds from text, counted without recursion.
XmlShape treeShape(const std::string& text, std::string* encoding = nullptr) {
  TiXmlDocument tree;
  tree.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  XmlShape shape;
  shape.parseError = tree.Error();
  const TiXmlNode* first = tree.FirstChild();
  const TiXmlDeclaration* declaration = first ? first->ToDeclaration() : nullptr;
  shape.declarationLength = declaration ? 1 : 0;
  if (encoding) *encoding = declaration ? declaration->Encoding() : "";
  std::vector<std::pair<const TiXmlNode*, int>> pending;
  for (const TiXmlNode* c = tree.FirstChild(); c; c = c->NextSibling()) pending.push_back({c, 1});
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    const TiXmlText* text = node->ToText();
    if (!text || text->CDATA()) {
      ++shape.nodes;
      shape.nodeLevels += depth;
    }
    const TiXmlElement* element = node->ToElement();
    if (!element) continue;
    ++shape.elements;
    shape.depth = std::max(shape.depth, depth);
    int attributes = 0;
    for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) ++attributes;
    shape.attributes = std::max(shape.attributes, attributes);
    shape.attributePairs += static_cast<long long>(attributes) * (attributes - 1) / 2;
    shape.attributesInAll += attributes;
    for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling())
      pending.push_back({c, depth + 1});
  }
  return shape;
}

// The elements of TinyXML's tree of text from the top down, the order in
// which it makes them.
std::vector<const TiXmlElement*> elementsInOrder(const TiXmlDocument& tree) {
  std::vector<const TiXmlElement*> out;
  std::vector<const TiXmlNode*> pending;
  for (const TiXmlNode* c = tree.LastChild(); c; c = c->PreviousSibling()) pending.push_back(c);
  while (!pending.empty()) {
    const TiXmlNode* node = pending.back();
    pending.pop_back();
    if (const TiXmlElement* element = node->ToElement()) out.push_back(element);
    for (const TiXmlNode* c = node->LastChild(); c; c = c->PreviousSibling()) pending.push_back(c);
  }
  return out;
}

// Every element of TinyXML's tree that holds mark-up (any node but plain
// text) is one the walk notes, by the same number and name, and the walk
// of its content reaches its end tag. (The walk may note more: TinyXML
// drops a CDATA section that holds only white space.)
void expectSameMarkedElements(const std::string& text) {
  TiXmlDocument tree;
  tree.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  if (tree.Error()) return;
  const std::vector<const TiXmlElement*> elements = elementsInOrder(tree);
  const std::vector<XmlMarkedElement> marked = markedElements(text);
  std::vector<bool> noted(elements.size(), false);
  for (const XmlMarkedElement& m : marked) {
    ASSERT_GE(m.element, 0);
    ASSERT_LT(static_cast<std::size_t>(m.element), elements.size());
    EXPECT_EQ(text.substr(m.nameAt, m.nameLength), elements[m.element]->Value());
    noted[m.element] = true;
    std::vector<XmlMarkupNode> nodes;
    std::size_t end = 0;
    ASSERT_TRUE(markupOfContent(text, m, nodes, end));
    EXPECT_EQ(text.substr(end, 2 + m.nameLength), "</" + text.substr(m.nameAt, m.nameLength));
  }
  for (std::size_t i = 0; i < elements.size(); ++i) {
    bool markup = false;
    for (const TiXmlNode* c = elements[i]->FirstChild(); c; c = c->NextSibling()) {
      const TiXmlText* plain = c->ToText();
      if (!plain || plain->CDATA()) markup = true;
    }
    EXPECT_TRUE(!markup || noted[i]) << "element " << i << " " << elements[i]->Value();
  }
}

std::size_t highBytesOf(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += static_cast<unsigned char>(c) >= 0x80;
  return count;
}

// The walk must see what TinyXML sees: the same counts, the same verdict
// on errors, and the same declaration with the same encoding.
void expectSameAsTinyXml(const std::string& text) {
  XmlShape walked;
  ASSERT_EQ(prescanXml(text, XmlLimits(), &walked), XmlPrescanResult::Accepted);
  EXPECT_EQ(walked.highBytes, highBytesOf(text));
  std::string encoding;
  const XmlShape built = treeShape(text, &encoding);
  EXPECT_EQ(walked.parseError, built.parseError);
  if (built.parseError) return;  // TinyXML's partial tree is thrown away
  EXPECT_EQ(walked.elements, built.elements);
  EXPECT_EQ(walked.depth, built.depth);
  EXPECT_EQ(walked.attributes, built.attributes);
  EXPECT_EQ(walked.nodes, built.nodes);
  EXPECT_EQ(walked.nodeLevels, built.nodeLevels);
  EXPECT_EQ(walked.attributePairs, built.attributePairs);
  EXPECT_EQ(walked.attributesInAll, built.attributesInAll);
  EXPECT_EQ(walked.declarationLength != 0, built.declarationLength != 0);
  if (walked.declarationLength != 0) {
    EXPECT_EQ(declaredEncoding(text, walked.declarationLength), encoding);
  }
  expectSameMarkedElements(text);
}

std::string nested(int depth, const std::string& openTag, const std::string& filler) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += openTag + filler;
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

struct Filler {
  const char* name;
  const char* openTag;
  const char* filler;
};

// Mark-up that holds "<a>" but opens no element in TinyXML's reading.
const Filler kFillers[] = {
    {"plain", "<a>", ""},
    {"comment", "<a>", "<!-- <a><a> -->"},
    {"cdata", "<a>", "<![CDATA[<a><a>]]>"},
    {"processing instruction", "<a>", "<?pi <a>?>"},
    {"declaration", "<a>", "<?xml version='<a>'?>"},
    {"doctype", "<a>", "<!DOCTYPE a>"},
    {"attribute values", "<a x='<a>' y=\"<a><a>\">", ""},
    {"text with references", "<a>", "&lt;a&gt; &#60;"},
};

TEST(XmlPrescanTest, DepthBoundCountsOnlyElements) {
  for (const Filler& f : kFillers) {
    SCOPED_TRACE(f.name);
    const std::string atBound = nested(limits::kMaxXmlDepth, f.openTag, f.filler);
    XmlShape shape;
    EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
    EXPECT_EQ(shape.depth, limits::kMaxXmlDepth);
    expectSameAsTinyXml(atBound);
    EXPECT_EQ(prescanXml(nested(limits::kMaxXmlDepth + 1, f.openTag, f.filler)),
              XmlPrescanResult::TooDeep);
  }
}

TEST(XmlPrescanTest, EmptyElementTagsDoNotNest) {
  std::string text = "<r>";
  for (int i = 0; i < 3 * limits::kMaxXmlDepth; ++i) text += "<e/><f x='1' />";
  text += "</r>";
  XmlShape shape;
  EXPECT_EQ(prescanXml(text, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.depth, 2);
  expectSameAsTinyXml(text);
  // An empty element still sits one level below its parent.
  EXPECT_EQ(prescanXml(nested(limits::kMaxXmlDepth, "<a>", "<e/>")), XmlPrescanResult::TooDeep);
}

std::string withAttributes(int count, int elements = 1) {
  std::string text = "<r>";
  for (int e = 0; e < elements; ++e) {
    text += "<e";
    for (int i = 0; i < count; ++i)
      text += " a" + std::to_string(i) + (i % 2 ? "='<e/>'" : "=\"> <e>\"");
    text += "/>";
  }
  return text + "</r>";
}

TEST(XmlPrescanTest, AttributeBoundIsPerElement) {
  const std::string atBound = withAttributes(limits::kMaxXmlAttributes, 3);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.attributes, limits::kMaxXmlAttributes);
  EXPECT_EQ(shape.elements, 4);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(withAttributes(limits::kMaxXmlAttributes + 1)),
            XmlPrescanResult::TooManyAttributes);
}

// The root and total - 1 elements in it, every thousandth one among
// mark-up that holds "<e/>".
std::string manyElements(long total) {
  std::string text = "<?xml version='1.0'?><!-- <e/> --><r>";
  for (long i = 1; i < total; ++i) {
    if (i % 1000 == 0)
      text += "<!-- <e/> --><![CDATA[<e/>]]><?pi <e/>?><f x='<e/>'></f>";
    else
      text += "<e/>";
  }
  return text + "</r>";
}

TEST(XmlPrescanTest, ElementBoundCountsEveryElementOnce) {
  const std::string atBound = manyElements(limits::kMaxXmlElements);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.elements, limits::kMaxXmlElements);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(manyElements(limits::kMaxXmlElements + 1)),
            XmlPrescanResult::TooManyElements);
}

// TinyXML walks from every node it makes up to the document, so deep
// content costs in proportion to its depth: the depths of the mark-up
// nodes added up are bounded too.
TEST(XmlPrescanTest, DeepContentIsBoundedByItsDepthsAddedUp) {
  auto deepWithComments = [](int comments) {
    std::string text;
    for (int i = 0; i < limits::kMaxXmlDepth; ++i) text += "<a>";
    for (int i = 0; i < comments; ++i) text += "x<!-- -->";
    for (int i = 0; i < limits::kMaxXmlDepth; ++i) text += "</a>";
    return text;
  };
  // 1000 elements at depths 1..1000, then comments at depth 1001.
  const long long elementLevels = 1000LL * 1001 / 2;
  const int fitting = static_cast<int>((limits::kMaxXmlNodeLevels - elementLevels) / 1001);
  const std::string atBound = deepWithComments(fitting);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_LE(limits::kMaxXmlNodeLevels - shape.nodeLevels, 1000);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(deepWithComments(fitting + 1)), XmlPrescanResult::TooDeep);
}

TEST(XmlPrescanTest, MarkupNodesOfEveryKindAreBounded) {
  auto flat = [](long nodes) {
    std::string text = "<r>";
    for (long i = 1; i < nodes; ++i) text += i % 2 ? "<!>" : "t<?p?>";
    return text + "</r>";
  };
  const std::string atBound = flat(limits::kMaxXmlNodes);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.nodes, limits::kMaxXmlNodes);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(flat(limits::kMaxXmlNodes + 1)), XmlPrescanResult::TooManyElements);
}

// TinyXML compares each attribute with the earlier ones of its element.
TEST(XmlPrescanTest, AttributeComparisonsAreBounded) {
  const long long full = 1000LL * 999 / 2;
  const int fullElements = static_cast<int>(limits::kMaxXmlAttributePairs / full);
  int lastCount = 0;  // the most attributes one more element may have
  while (static_cast<long long>(lastCount + 1) * lastCount / 2 <=
         limits::kMaxXmlAttributePairs - fullElements * full)
    ++lastCount;
  auto document = [&](int last) {
    std::string text = withAttributes(1000, fullElements);
    return text.substr(0, text.size() - 4) + withAttributes(last).substr(3);
  };
  const std::string atBound = document(lastCount);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_LE(shape.attributePairs, limits::kMaxXmlAttributePairs);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(document(lastCount + 1)), XmlPrescanResult::TooManyAttributes);
}

TEST(XmlPrescanTest, AttributesInAllAreBounded) {
  auto document = [](long attributes) {
    std::string text = "<r>";
    for (long i = 0; i < attributes / 4; ++i) text += "<e a='' b='' c='' d=''/>";
    for (long i = 0; i < attributes % 4; ++i) text += "<e a=''/>";
    return text + "</r>";
  };
  const std::string atBound = document(limits::kMaxXmlAttributesInAll);
  XmlShape shape;
  EXPECT_EQ(prescanXml(atBound, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.attributesInAll, limits::kMaxXmlAttributesInAll);
  expectSameAsTinyXml(atBound);
  EXPECT_EQ(prescanXml(document(limits::kMaxXmlAttributesInAll + 1)),
            XmlPrescanResult::TooManyAttributes);
}

TEST(XmlPrescanTest, LimitsCanBeMadeSmall) {
  XmlLimits small;
  small.maxDepth = 2;
  small.maxAttributes = 1;
  small.maxElements = 3;
  EXPECT_EQ(prescanXml("<a><b/></a>", small), XmlPrescanResult::Accepted);
  EXPECT_EQ(prescanXml("<a><b><c/></b></a>", small), XmlPrescanResult::TooDeep);
  EXPECT_EQ(prescanXml("<a x='1' y='2'/>", small), XmlPrescanResult::TooManyAttributes);
  EXPECT_EQ(prescanXml("<a><b/><b/><b/></a>", small), XmlPrescanResult::TooManyElements);

  XmlLimits fewNodes;
  fewNodes.maxNodes = 3;
  EXPECT_EQ(prescanXml("<!-- --><a><!----></a>", fewNodes), XmlPrescanResult::Accepted);
  EXPECT_EQ(prescanXml("<!-- --><a><!----><?p?></a>", fewNodes),
            XmlPrescanResult::TooManyElements);
  XmlLimits shallow;
  shallow.maxNodeLevels = 6;  // a at 1, b at 2, the CDATA section at 3
  EXPECT_EQ(prescanXml("<a><b><![CDATA[]]></b></a>", shallow), XmlPrescanResult::Accepted);
  EXPECT_EQ(prescanXml("<a><b><![CDATA[]]></b>x<!></a>", shallow), XmlPrescanResult::TooDeep);
  XmlLimits fewPairs;
  fewPairs.maxAttributePairs = 1;
  EXPECT_EQ(prescanXml("<a x='1' y='2'><b x='1'/></a>", fewPairs), XmlPrescanResult::Accepted);
  EXPECT_EQ(prescanXml("<a x='1' y='2'><b x='1' y='2'/></a>", fewPairs),
            XmlPrescanResult::TooManyAttributes);
}

TEST(XmlPrescanTest, MessagesNameTheBound) {
  EXPECT_STREQ(prescanMessage(XmlPrescanResult::TooDeep), "Document nested too deeply.");
  EXPECT_STREQ(prescanMessage(XmlPrescanResult::TooManyAttributes), "Too many attributes.");
  EXPECT_STREQ(prescanMessage(XmlPrescanResult::TooManyElements), "Too many elements.");
  EXPECT_STREQ(prescanMessage(XmlPrescanResult::Accepted), "");
}

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// Inputs that make TinyXML recurse, loop or allocate without end are
// walked in one pass without recursion, and refused or judged as TinyXML
// would judge them.
TEST(XmlPrescanTest, PathologicalInputsAreWalkedFlat) {
  EXPECT_EQ(prescanXml(repeat("<a>", 4'000'000)), XmlPrescanResult::TooDeep);
  EXPECT_EQ(prescanXml(repeat("<a x='1'>", 1'000'000)), XmlPrescanResult::TooDeep);
  EXPECT_EQ(prescanXml("<r>" + repeat("<a/>", 2'000'000)), XmlPrescanResult::TooManyElements);
  std::string wide = "<r";
  for (int i = 0; i < 200'000; ++i) wide += " a" + std::to_string(i) + "=''";
  EXPECT_EQ(prescanXml(wide + "/>"), XmlPrescanResult::TooManyAttributes);
  // Each of these kept TinyXML busy for seconds to a minute, within the
  // bounds on depth, attributes per element and elements.
  EXPECT_EQ(prescanXml(repeat("<a>", 1000) + repeat("<!>", 2'000'000)), XmlPrescanResult::TooDeep);
  EXPECT_EQ(prescanXml("<r>" + repeat("<!>", 5'000'000) + "</r>"),
            XmlPrescanResult::TooManyElements);
  const std::string element = withAttributes(1000);  // "<r><e .../></r>"
  EXPECT_EQ(prescanXml("<r>" + repeat(element.substr(3, element.size() - 7), 2000) + "</r>"),
            XmlPrescanResult::TooManyAttributes);

  const std::string judged[] = {
      "<r>" + repeat("&#x", 1'000'000) + "</r>",
      "<r>" + repeat("&#1", 1'000'000) + ";</r>",
      "<r>" + repeat("<!--", 1'000'000),
      "<r>" + repeat("<![CDATA[", 1'000'000),
      "<r x='" + repeat("&amp;", 1'000'000) + "'/>",
      repeat("<?xml ", 1'000'000),
      "<r " + repeat("a='' ", 100'000) + "/>",
      "<r>" + repeat("<a></a>", 400'000) + "</r>",
  };
  for (const std::string& text : judged) expectSameAsTinyXml(text);
}

TEST(XmlPrescanTest, ZeroByteEndsTheDocument) {
  const std::string text("<r><a/>\0<b><b><b>", 17);
  XmlShape shape;
  EXPECT_EQ(prescanXml(text, XmlLimits(), &shape), XmlPrescanResult::Accepted);
  EXPECT_EQ(shape.elements, 2);
  EXPECT_TRUE(shape.parseError);
  XmlLimits small;
  small.maxDepth = 2;
  EXPECT_EQ(prescanXml(text, small), XmlPrescanResult::Accepted);
}

// Constructs TinyXML treats in surprising ways; the walk must agree.
TEST(XmlPrescanTest, AgreesWithTinyXmlOnOddConstructs) {
  const char* cases[] = {
      "",
      "   ",
      "text first <r/>",
      "<r/> text after <a><a><a>",
      "\xEF\xBB\xBF<r/>",
      "<r><a></a ></r>",
      "<r><a></ab></r>",
      "<r><a></A></r>",
      "<r></r><r2><x/></r2>",
      "</r><r/>",
      "<r><!-- a > b --><a/></r>",
      "<r><!-- unterminated <a/></r>",
      "<r><![CDATA[ a > b ]]><a/></r>",
      "<r><![CDATA[ unterminated <a/></r>",
      "<r>&#x<a>x1;</r>",
      "<r>&#<a>#1;<b/></r>",
      "<r x='&#x' <a>x1;'><b/></r>",
      "<r x='1' x='2'><a/></r>",
      "<r x=1 y=a/b><a/></r>",
      "<r x=a'b><a/></r>",
      "<r x ='1'/>",
      "<r x/>",
      "<r/ >",
      "<r><a/ ></r>",
      "<r>< a/></r>",
      "<r><_a/><:a/><a-b.c:d/></r>",
      "<r><\xC3\xA9/></r>",
      "<?xml version='1.0'?><r/>",
      "<?XML encoding='UTF-8'?><r/>",
      "<?xml encoding=\"a&#x62;&lt;c\" ?><r/>",
      "<?xml encoding='utf-8'",
      "<?xml encoding='utf-8' <r x='1'><a/></r>",
      "<?xml ENCODING='x' encodingZ='y'?><r/>",
      "<!-- c --><?xml version='1.0'?><r/>",
      "<?pi?><r/>",
      "<!DOCTYPE r [<!ENTITY e 'x'>]><r/>",
      "<r><?xml version='1.0'?><a/></r>",
      "<r><?xml version='1.0'</r>",
      "<r>a &unknown; b</r>",
      "<r>&#xx1;<a/></r>",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    expectSameAsTinyXml(text);
  }
}

// Random documents from pieces of mark-up, and random damage to a feed.
TEST(XmlPrescanTest, AgreesWithTinyXmlOnRandomDocuments) {
  const std::vector<std::string> pieces = {
      "<a>", "</a>", "<b x='1'>", "</b>", "<!--", "-->", "<![CDATA[", "]]>", "&#x1;", "&#12;",
      "&amp;", "&", "#", "x", ";", "<?xml ", "version=", "encoding=", "'", "\"", "<!", ">", "/>",
      " ", "\n", std::string(1, '\0'), "text", "<?pi?>", "<a/>", "<b x=1 y=2>", "<c x='1' x='2'>",
      "<c x='1' y=\"2\">", "</c>", "<", "</", "&#", "&#x", "1", "-", "]", "?>", "<_u>", "</_u>",
      "<A>", "</A >", "\t", "=", "<a b='&#x<c>x1;'>", "<!DOCTYPE x [<!ENTITY a 'b'>]>",
      "\xC3\xA9", "<\xC3\xA9>", "&lt;", "<?xml version='1.0' encoding='UTF-8'?>",
      "encoding=\"&#x\" x1;\"", "<?xml?>"};
  const std::string feed =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>T &amp; "
      "x</title><item a='1' b=\"2\"><description>&lt;p&gt;hi&#233;</description><!-- c -->"
      "<![CDATA[x<y]]></item></channel></rss>\n";
  std::mt19937 random(20240501);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    if (round % 4 == 0) {
      text = feed;
      for (unsigned damage = 1 + random() % 4; damage > 0; --damage) {
        const std::size_t at = random() % (text.size() + 1);
        const char c = "<>/&#;x'\"=! -[]?ab"[random() % 18];
        switch (random() % 3) {
          case 0:
            if (at < text.size()) text.erase(at, 1);
            break;
          case 1:
            text.insert(at, 1, c);
            break;
          default:
            if (at < text.size()) text[at] = c;
        }
      }
    } else {
      if (random() % 3 == 0) text = random() % 2 ? "<?xml version='1.0' " : "<?xml ";
      if (random() % 3 == 0) text += "<rss>";
      for (unsigned n = 1 + random() % 40; n > 0; --n) text += pieces[random() % pieces.size()];
    }
    SCOPED_TRACE(testing::PrintToString(text));
    expectSameAsTinyXml(text);
    if (HasFailure()) return;
  }
}

#if defined(__GLIBC__)
// The walks in other locales run where the locale is one of the C
// library's that scripts/install-locales generates (the Windows build,
// whose walks build their classes each time, has no such locale under
// Wine).

// In Turkish, "I" is no capital "i": there "VERSION" is no version, and
// the ">" in its value ends the declaration, before the document element.
const std::string kTurkishDeclaration = "<?xml VERSION='1>0'?><r><a/></r>";

// A single-byte Turkish locale's name, nullptr when none is installed.
// The locale of LC_CTYPE is left as it was.
const char* turkishLocale() {
  const std::string before = std::setlocale(LC_CTYPE, nullptr);
  const char* found = nullptr;
  for (const char* name : {"tr_TR.ISO-8859-9", "tr_TR.iso88599"}) {
    if (std::setlocale(LC_CTYPE, name) && std::tolower('I') != 'i') {
      found = name;
      break;
    }
  }
  std::setlocale(LC_CTYPE, before.c_str());
  return found;
}

// The walk reads with the classes of the locale the thread is in when it
// walks, as TinyXML does, however often that changes between walks.
TEST(XmlPrescanTest, FollowsTheLocaleFromWalkToWalk) {
  const char* const turkish = turkishLocale();
  if (!turkish) KORVO_SKIP_FOR_PREREQUISITE() << "no single-byte Turkish locale is installed";
  const std::string before = std::setlocale(LC_CTYPE, nullptr);
  for (int round = 0; round < 6; ++round) {
    const bool inTurkish = round % 2 == 1;
    SCOPED_TRACE(inTurkish ? turkish : "C");
    ASSERT_NE(std::setlocale(LC_CTYPE, inTurkish ? turkish : "C"), nullptr);
    XmlShape walked;
    prescanXml(kTurkishDeclaration, XmlLimits(), &walked);
    EXPECT_EQ(walked.elements, inTurkish ? 0 : 2);
    expectSameAsTinyXml(kTurkishDeclaration);
  }
  std::setlocale(LC_CTYPE, before.c_str());
}

// Threads in different locales at once (uselocale) each walk with their
// own classes.
TEST(XmlPrescanTest, EachThreadWalksInItsOwnLocale) {
  const char* const turkish = turkishLocale();
  if (!turkish) KORVO_SKIP_FOR_PREREQUISITE() << "no single-byte Turkish locale is installed";
  const auto walkIn = [](const char* name, long& wrong) {
    const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
      wrong = -1;
      return;
    }
    const locale_t before = uselocale(locale);
    const long expected = std::tolower('I') != 'i' ? 0 : 2;
    for (int round = 0; round < 2000; ++round) {
      XmlShape walked;
      prescanXml(kTurkishDeclaration, XmlLimits(), &walked);
      wrong += walked.elements != expected;
    }
    uselocale(before);
    freelocale(locale);
  };
  long wrongInTurkish = 0, wrongInC = 0;
  std::thread inTurkish(walkIn, turkish, std::ref(wrongInTurkish));
  std::thread inC(walkIn, "C", std::ref(wrongInC));
  inTurkish.join();
  inC.join();
  EXPECT_EQ(wrongInTurkish, 0);
  EXPECT_EQ(wrongInC, 0);
}
#endif

// The mark-up inside an element's content, found where TinyXML finds it:
// a ">" in an attribute value or a CDATA section ends no tag.
TEST(XmlPrescanTest, MarkupOfContent) {
  const std::string text =
      "<?xml version='1.0'?><r><t>a<b x='>' y=\"<\">c</b> <!-- d > --><![CDATA[<e>]]>f<br/>"
      "<?p q?></t><u>plain</u></r>";
  const std::vector<XmlMarkedElement> marked = markedElements(text);
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_EQ(marked[0].element, 0);  // r
  EXPECT_EQ(text.substr(marked[0].nameAt, marked[0].nameLength), "r");
  EXPECT_EQ(marked[1].element, 1);  // t; u holds text alone
  EXPECT_EQ(text.substr(marked[1].nameAt, marked[1].nameLength), "t");
  EXPECT_EQ(text.substr(marked[1].contentAt, 1), "a");
  std::vector<XmlMarkupNode> nodes;
  std::size_t end = 0;
  ASSERT_TRUE(markupOfContent(text, marked[1], nodes, end));
  std::vector<std::string> found;
  for (const XmlMarkupNode& node : nodes)
    found.push_back((node.cdata ? "cdata " : "") + text.substr(node.begin, node.end - node.begin));
  EXPECT_EQ(found, (std::vector<std::string>{"<b x='>' y=\"<\">", "</b>", "<!-- d > -->",
                                             "cdata <![CDATA[<e>]]>", "<br/>", "<?p q?>"}));
  EXPECT_EQ(text.substr(end, 4), "</t>");

  // A content whose end tag is not its own is no content.
  const std::string broken = "<r><t>a<b>c</t></r>";
  XmlMarkedElement t{1, 4, 1, 6};
  EXPECT_FALSE(markupOfContent(broken, t, nodes, end));
}

// The walk notes names that TinyXML does not know in element text, and
// "&"s it would drop in text or attribute values, so that only such
// documents get the HTML-name step.
TEST(XmlPrescanTest, NotesOtherNamesInText) {
  const struct {
    const char* text;
    bool otherNames;
  } cases[] = {
      {"<r>&amp;&lt;&gt;&quot;&apos;</r>", false},
      {"<r>&#38;&#x26;</r>", true},  // numbers: TinyXML may cut them to a byte
      {"<r>a &nbsp;b</r>", true},
      {"<r>&ampx;</r>", true},
      {"<r>&unknown;</r>", true},
      {"<r a='&nbsp;'>x</r>", true},
      {"<r a='&#38;&amp;' b=&x>x</r>", false},  // unquoted: TinyXML keeps every byte
      {"<r><![CDATA[&nbsp;]]><!-- &nbsp; --></r>", false},
      {"<r>& x</r>", true},
  };
  for (const auto& c : cases) {
    XmlShape shape;
    EXPECT_EQ(prescanXml(c.text, XmlLimits(), &shape), XmlPrescanResult::Accepted) << c.text;
    EXPECT_EQ(shape.otherNames, c.otherNames) << c.text;
  }
}

// The walk counts the high bytes of the whole text as it goes, wherever
// they stand (in text nodes, names, values, comments, sections, after the
// document, after a zero byte), and tells those of the text nodes apart.
TEST(XmlPrescanTest, CountsHighBytesWhereverTheyStand) {
  const std::string e = "\xE9";
  const std::string longText = "caf" + e + std::string(40, 'x') + e + "&amp;" + e + "&#233;" + e;
  const struct {
    std::string text;
    std::size_t inText;
  } cases[] = {
      {"<r>" + e + "</r>", 1},
      {"<r>" + longText + "</r>", 4},
      {"<r" + e + ">x</r" + e + ">", 0},
      {"<r a" + e + "='" + e + "' b=\"" + e + "&amp;" + e + "\" c=" + e + "/>", 0},
      {"<r><!-- " + e + " --><![CDATA[" + e + e + "]]><?pi " + e + "?><!DOCTYPE " + e + "></r>",
       0},
      {"<?xml version='1.0' encoding='" + e + "'?><r/>", 0},
      {"<r/>" + e + " after the document" + e, 0},
      {std::string("<r>a</r>\0", 9) + "<r>" + e + e + "</r>", 0},
      {"<r>" + e + "<a x='" + e + "'>" + longText + "</a>" + e + "</r>", 6},
      // Refused: counted all the same.
      {nested(limits::kMaxXmlDepth + 1, "<a>", e), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 80)));
    XmlShape shape;
    prescanXml(c.text, XmlLimits(), &shape);
    EXPECT_EQ(shape.highBytes, highBytesOf(c.text));
    if (!shape.parseError && shape.elements <= limits::kMaxXmlDepth) {
      EXPECT_EQ(shape.highBytesInText, c.inText);
    }
  }

  // One high byte at each place of a document, on either side of every
  // block the scans read.
  const std::string document =
      "<?xml version='1.0'?>\n<rss><channel>\n  <title>Text &amp; more text of some length</title>"
      "\n  <item a='value &lt;' b=\"1\"><!-- comment --><![CDATA[x<y]]>&#8217;</item>\n</channel>"
      "</rss>\n";
  for (std::size_t at = 0; at <= document.size(); ++at) {
    const std::string text = document.substr(0, at) + e + document.substr(at);
    XmlShape shape;
    prescanXml(text, XmlLimits(), &shape);
    EXPECT_EQ(shape.highBytes, 1u) << at;
    EXPECT_LE(shape.highBytesInText, 1u) << at;
  }
}

// A block's bits for each of its bytes, whatever the bytes around it
// (a carry between bytes would hide or invent a stop next to another),
// the same in every kind of block; and the count of its high bytes.
template <typename Blocks>
void expectBlocksSeeEachByte() {
  std::mt19937 random(20241211);
  const unsigned char tricky[] = {'<', '&', '<' ^ 1, '&' ^ 1, '<' + 1, '&' - 1, '<' | 0x80,
                                  '&' | 0x80, 0x00, 0x01, 0x7F, 0x80, 0xFF, 'a'};
  for (int round = 0; round < 5000; ++round) {
    unsigned char bytes[Blocks::kSize];
    for (unsigned char& b : bytes)
      b = round % 2 ? tricky[random() % sizeof tricky] : static_cast<unsigned char>(random());
    std::uint32_t stops = 0, lts = 0, amps = 0, high = 0;
    unsigned highCount = 0;
    for (unsigned i = 0; i < Blocks::kSize; ++i) {
      stops |= std::uint32_t{bytes[i] == '<' || bytes[i] == '&'} << i;
      lts |= std::uint32_t{bytes[i] == '<'} << i;
      amps |= std::uint32_t{bytes[i] == '&'} << i;
      high |= std::uint32_t{bytes[i] >= 0x80} << i;
      highCount += bytes[i] >= 0x80;
    }
    const blocks::Bits bits = Blocks::template look<'<', '&'>(bytes);
    ASSERT_EQ(bits.stops, stops) << round;
    ASSERT_EQ(bits.high, high) << round;
    ASSERT_EQ(blocks::countBits(bits.high), highCount) << round;
    ASSERT_EQ(Blocks::template look<>(bytes).stops, 0u);
    const blocks::Split split = Blocks::template split<'<', '&'>(bytes);
    ASSERT_EQ(split.first, lts) << round;
    ASSERT_EQ(split.second, amps) << round;
    ASSERT_EQ(split.high, high) << round;
    ASSERT_EQ(blocks::highBytes(bytes, Blocks::kSize), highCount) << round;
  }
}

TEST(XmlPrescanTest, BlocksSeeEachByte) {
  expectBlocksSeeEachByte<blocks::WordBlocks>();
  expectBlocksSeeEachByte<blocks::PairBlocks<blocks::WordBlocks>>();
#if defined(__SSE2__)
  expectBlocksSeeEachByte<blocks::SseBlocks>();
  expectBlocksSeeEachByte<blocks::PairBlocks<blocks::SseBlocks>>();
#endif
}

// The high bytes of a stretch of any length from any start: the counters
// of a byte each are emptied before they overflow.
TEST(XmlPrescanTest, CountsHighBytesOfLongStretches) {
  std::mt19937 random(20251211);
  std::string text(70000, 'a');
  for (char& c : text)
    if (random() % 3 == 0) c = static_cast<char>(0x80 | random());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (const std::size_t start : {0, 1, 7, 63}) {
    for (const std::size_t length : {0, 1, 15, 64, 65, 4095, 16320, 16384, 69000}) {
      SCOPED_TRACE(testing::Message() << start << " " << length);
      EXPECT_EQ(blocks::highBytes(bytes + start, length), highBytesOf(text.substr(start, length)));
    }
  }
  const std::string allHigh(16384, '\xFF');
  EXPECT_EQ(blocks::highBytes(reinterpret_cast<const unsigned char*>(allHigh.data()), 16384),
            16384u);
}

// Runs of "&"s, each one noted, of every length around what the walk
// gathers before it adds them to the shape, in text and in a value, with
// the document ending at every place after them.
TEST(XmlPrescanTest, NotesEveryAmpersandOfALongRun) {
  for (std::size_t run = 90; run <= 300; ++run) {
    for (std::size_t after = 0; after < 40; after += 13) {
      const std::string amps(run, '&'), tail(after, 'x');
      for (const std::string& text : {"<r>" + amps + tail + "</r>", "<r a=\"" + amps + tail + "\"/>"}) {
        SCOPED_TRACE(testing::Message() << run << " " << after << " " << text.substr(0, 6));
        XmlShape fast, plain;
        ASSERT_EQ(prescanXml(text, XmlLimits(), &fast), test::oraclePrescan(text, plain));
        ASSERT_EQ(fast.references, plain.references);
        ASSERT_EQ(fast.attributeAmpersands, plain.attributeAmpersands);
        ASSERT_EQ(fast.otherNames, plain.otherNames);
      }
    }
  }
}

// What the walk finds (the counts, the verdict, the references it notes
// for the decoding, the high bytes) is what the plain walk it replaces
// found, byte for byte: documents whose references, names and high bytes
// stand at every place around the blocks the walk reads them in, and
// every kind of reference, whole, cut short or swallowing mark-up.
TEST(XmlPrescanTest, FindsWhatThePlainWalkFinds) {
  const std::vector<std::string> pieces = {
      "&#233;", "&#8217;", "&#128512;", "&#1114111;", "&#99999999;", "&#0000065;", "&#;",
      "&#x41;", "&#X41;", "&#12a;", "&#1<b>&#2;", "&#1<b>x;", "&#", "&#x", "&nbsp;", "&amp;",
      "&lt;", "&gt;", "&quot;", "&apos;", "&ampx;", "&amp", "&quot", "& ", "&", "\xC3\xA9",
      "\xE9", "\xE2\x80\x99", "text ", "more text of some length ", "<a>", "</a>", "<b x='1'>",
      "</b>", "<c x=\"&nbsp;&#65;&amp;\" y='&x'>", "</c>", "<br/>", "<!-- & -->",
      "<![CDATA[&#1;<]]>", "<?pi &?>", "\n    ", "<title>", "</title>", "<description>",
      "</description>", "<d isPermaLink=\"true\">", "</d>", std::string(1, '\0')};
  std::mt19937 random(20251212);
  for (int round = 0; round < 20000; ++round) {
    std::string text = round % 3 == 0 ? "<?xml version='1.0' encoding='utf-8'?>\n<r>" : "<r>";
    // Padding moves everything after it across the blocks.
    text += std::string(random() % 40, round % 2 ? ' ' : 'x');
    for (unsigned n = 1 + random() % 60; n > 0; --n) text += pieces[random() % pieces.size()];
    if (random() % 4 != 0) text += "</r>";
    if (random() % 2 == 0) text += std::string(random() % 40, '\n');
    SCOPED_TRACE(testing::PrintToString(text));
    XmlShape fast, plain;
    ASSERT_EQ(prescanXml(text, XmlLimits(), &fast), test::oraclePrescan(text, plain));
    ASSERT_EQ(fast.parseError, plain.parseError);
    ASSERT_EQ(fast.elements, plain.elements);
    ASSERT_EQ(fast.depth, plain.depth);
    ASSERT_EQ(fast.attributes, plain.attributes);
    ASSERT_EQ(fast.nodes, plain.nodes);
    ASSERT_EQ(fast.nodeLevels, plain.nodeLevels);
    ASSERT_EQ(fast.attributePairs, plain.attributePairs);
    ASSERT_EQ(fast.attributesInAll, plain.attributesInAll);
    ASSERT_EQ(fast.otherNames, plain.otherNames);
    ASSERT_EQ(fast.references, plain.references);
    ASSERT_EQ(fast.attributeAmpersands, plain.attributeAmpersands);
    ASSERT_EQ(fast.highBytes, plain.highBytes);
    ASSERT_EQ(fast.declarationLength, plain.declarationLength);
    // Where TinyXML fails in a text node, the plain walk counts the rest
    // of the document as that text; no one reads the count then.
    if (!fast.parseError) {
      ASSERT_EQ(fast.highBytesInText, plain.highBytesInText);
    }
  }
}

}  // namespace
}  // namespace korvo
