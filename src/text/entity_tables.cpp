#include "text/entity_tables.h"

#include <algorithm>
#include <cstddef>

namespace korvo {
namespace {

// Every name and code text fits in seven bytes; together with its length it
// packs into one integer, so a lookup compares integers instead of strings.
constexpr std::size_t kMaxKeyLength = 7;

constexpr std::uint64_t keyOf(std::string_view text) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < kMaxKeyLength; ++i) {
    key = key << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return key << 8 | text.size();
}

struct KeyedRow {
  std::uint64_t key;
  std::size_t row;
};

// The rows' keys in ascending order, built at compile time (std::sort is not
// constexpr before C++20).
template <auto Field, typename Row, std::size_t N>
constexpr std::array<KeyedRow, N> keyIndex(const std::array<Row, N>& rows) {
  std::array<KeyedRow, N> index{};
  for (std::size_t i = 0; i < N; ++i) {
    const KeyedRow entry{keyOf(rows[i].*Field), i};
    std::size_t j = i;
    for (; j > 0 && entry.key < index[j - 1].key; --j) index[j] = index[j - 1];
    index[j] = entry;
  }
  return index;
}

template <auto Field, typename Row, std::size_t N>
constexpr bool keysFitAndAreUnique(const std::array<Row, N>& rows,
                                   const std::array<KeyedRow, N>& index) {
  for (const Row& row : rows) {
    if ((row.*Field).size() > kMaxKeyLength) return false;
  }
  for (std::size_t i = 1; i < N; ++i) {
    if (index[i - 1].key == index[i].key) return false;
  }
  return true;
}

constexpr auto kLatinByName = keyIndex<&LatinEntity::name>(LatinEntityTable);
constexpr auto kSpecialByName = keyIndex<&SpecialEntity::name>(SpecialEntityTable);
constexpr auto kSpecialByCode = keyIndex<&SpecialEntity::code>(SpecialEntityTable);

static_assert(keysFitAndAreUnique<&LatinEntity::name>(LatinEntityTable, kLatinByName));
static_assert(keysFitAndAreUnique<&SpecialEntity::name>(SpecialEntityTable, kSpecialByName));
static_assert(keysFitAndAreUnique<&SpecialEntity::code>(SpecialEntityTable, kSpecialByCode));

constexpr bool latinCodesFollowTheStandard() {
  for (std::size_t i = 0; i < 96; ++i) {
    if (LatinEntityTable[i].code != 160 + i) return false;
  }
  return true;
}
static_assert(latinCodesFollowTheStandard());

// specialReplacementForCode looks rows up by the decimal text of a number.
constexpr bool specialCodesAreCanonicalDecimals() {
  for (const SpecialEntity& row : SpecialEntityTable) {
    if (row.code.empty() || row.code[0] == '0') return false;
    for (char c : row.code) {
      if (c < '0' || c > '9') return false;
    }
  }
  return true;
}
static_assert(specialCodesAreCanonicalDecimals());

constexpr bool tablesShareNoName() {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < kLatinByName.size() && j < kSpecialByName.size()) {
    if (kLatinByName[i].key == kSpecialByName[j].key) return false;
    if (kLatinByName[i].key < kSpecialByName[j].key) {
      ++i;
    } else {
      ++j;
    }
  }
  return true;
}
static_assert(tablesShareNoName());

// The decoder relies on every reference ("&name;", "&#code;") being longer
// than what it decodes to. Latin rows give one byte and always are.
constexpr bool replacementsShorterThanReferences() {
  for (const SpecialEntity& row : SpecialEntityTable) {
    if (row.replacement.size() >= row.name.size() + 2) return false;
    if (row.replacement.size() >= row.code.size() + 3) return false;
  }
  return true;
}
static_assert(replacementsShorterThanReferences());

template <typename Row, std::size_t N>
const Row* find(const std::array<Row, N>& rows, const std::array<KeyedRow, N>& index,
                std::string_view text) {
  if (text.size() > kMaxKeyLength) return nullptr;
  const std::uint64_t key = keyOf(text);
  const auto it =
      std::lower_bound(index.begin(), index.end(), key,
                       [](const KeyedRow& entry, std::uint64_t k) { return entry.key < k; });
  return it != index.end() && it->key == key ? &rows[it->row] : nullptr;
}

}  // namespace

const LatinEntity* findLatinEntity(std::string_view name) {
  return find(LatinEntityTable, kLatinByName, name);
}

const SpecialEntity* findSpecialEntityByName(std::string_view name) {
  return find(SpecialEntityTable, kSpecialByName, name);
}

const SpecialEntity* findSpecialEntityByCode(std::string_view codeText) {
  return find(SpecialEntityTable, kSpecialByCode, codeText);
}

const char* specialReplacementForCode(std::uint32_t code) {
  char digits[10];
  std::size_t start = sizeof digits;
  do {
    digits[--start] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0);
  const SpecialEntity* row =
      findSpecialEntityByCode(std::string_view(digits + start, sizeof digits - start));
  return row != nullptr ? row->replacement.data() : nullptr;
}

}  // namespace korvo
