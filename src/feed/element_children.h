#pragma once
// The first child node of an element bearing each of a set of names, found
// in one walk over its children instead of one search per name asked for.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace korvo {

// A set of up to kMaxNames names, each up to kLongestName bytes long, that
// finds a name's place without comparing it with names of other lengths.
// Built at compile time: a set too large does not compile.
class ChildNames {
 public:
  static constexpr std::size_t kMaxNames = 24;
  static constexpr std::size_t kLongestName = 31;
  static constexpr std::size_t kNone = kMaxNames;

  constexpr ChildNames(std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) {
      if (size_ == kMaxNames || name.size() > kLongestName)
        throw std::length_error("too many or too long child names");
      names_[size_++] = name;
    }
    // order_ lists the names by length; firstOfLength_[n] is where those of
    // length n start in it, firstOfLength_[n + 1] where they end.
    std::size_t at = 0;
    for (std::size_t length = 0; length <= kLongestName; ++length) {
      firstOfLength_[length] = static_cast<std::uint8_t>(at);
      for (std::size_t i = 0; i < size_; ++i)
        if (names_[i].size() == length) order_[at++] = static_cast<std::uint8_t>(i);
    }
    firstOfLength_[kLongestName + 1] = static_cast<std::uint8_t>(at);
  }

  // The place of name in the set, or kNone. Names of one length are told
  // apart by their first and last bytes before they are compared whole.
  std::size_t find(std::string_view name) const {
    const std::size_t length = name.size();
    if (length == 0 || length > kLongestName) return kNone;
    for (std::size_t k = firstOfLength_[length]; k < firstOfLength_[length + 1]; ++k) {
      const std::size_t i = order_[k];
      const char* candidate = names_[i].data();
      if (candidate[0] != name[0] || candidate[length - 1] != name[length - 1]) continue;
      std::size_t j = 1;
      while (j < length && candidate[j] == name[j]) ++j;
      if (j == length) return i;
    }
    return kNone;
  }

  std::size_t size() const { return size_; }

 private:
  std::string_view names_[kMaxNames] = {};
  std::size_t size_ = 0;
  std::uint8_t order_[kMaxNames] = {};
  std::uint8_t firstOfLength_[kLongestName + 2] = {};
};

// The children of parent looked up by name, as parent.FirstChild(name)
// finds them: the first child node of any kind whose value is name. Names
// outside the set are searched for in the tree when asked for.
class ElementChildren {
 public:
  ElementChildren(const TiXmlNode& parent, const ChildNames& names);

  const TiXmlNode* first(std::string_view name) const {
    const std::size_t i = names_.find(name);
    return i == ChildNames::kNone ? firstOutside(name) : first_[i];
  }
  // The first child named name when it is an element, else null.
  const TiXmlElement* element(std::string_view name) const {
    const TiXmlNode* node = first(name);
    return node && node->Type() == TiXmlNode::TINYXML_ELEMENT
               ? static_cast<const TiXmlElement*>(node)
               : nullptr;
  }
  // How many children bear name.
  std::size_t count(std::string_view name) const;

 private:
  const TiXmlNode* firstOutside(std::string_view name) const;

  const TiXmlNode& parent_;
  const ChildNames& names_;
  const TiXmlNode* first_[ChildNames::kMaxNames] = {};
};

}  // namespace korvo
