#include "feed/element_children.h"

#include <algorithm>
#include <string>

namespace korvo {
namespace {

// The value FirstChild compares names with: an element's name, else the
// value up to its first zero byte (only as far as a name in a set can go).
std::string_view nameOf(const TiXmlNode& node) {
  const std::string& value = node.ValueStr();
  if (node.Type() == TiXmlNode::TINYXML_ELEMENT) return value;
  const std::string_view head(value.data(), std::min(value.size(), ChildNames::kLongestName + 1));
  return head.substr(0, head.find('\0'));
}

}  // namespace

ElementChildren::ElementChildren(const TiXmlNode& parent, const ChildNames& names)
    : parent_(parent), names_(names) {
  for (const TiXmlNode* child = parent.FirstChild(); child; child = child->NextSibling()) {
    const std::size_t i = names.find(nameOf(*child));
    if (i != ChildNames::kNone && !first_[i]) first_[i] = child;
  }
}

const TiXmlNode* ElementChildren::firstOutside(std::string_view name) const {
  return parent_.FirstChild(std::string(name).c_str());
}

std::size_t ElementChildren::count(std::string_view name) const {
  const std::string value(name);
  std::size_t count = 0;
  for (const TiXmlNode* node = first(name); node; node = node->NextSibling(value.c_str())) ++count;
  return count;
}

}  // namespace korvo
