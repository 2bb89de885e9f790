#include "text/entity_tables.h"

#include <algorithm>
#include <cstddef>

namespace korvo {
namespace {

// Every name and code text fits in eight bytes and holds no zero byte, so
// it packs into one integer (padded with zeros) and a lookup compares
// integers instead of strings.
constexpr std::size_t kMaxKeyLength = 8;

constexpr std::uint64_t keyOf(std::string_view text) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < kMaxKeyLength; ++i) {
    key = key << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return key;
}

// A text that cannot be a key: too long, or with a zero byte that would
// read as padding.
bool unfitKey(std::string_view text) {
  return text.size() > kMaxKeyLength || text.find('\0') != std::string_view::npos;
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

// A number and its code text then match one to one.
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

constexpr std::uint32_t decimalCode(std::string_view text) {
  std::uint32_t code = 0;
  for (char c : text) code = code * 10 + static_cast<std::uint32_t>(c - '0');
  return code;
}

struct NamedCode {
  std::uint64_t key;
  std::uint32_t code;
};

constexpr std::size_t kAllNames =
    LatinEntityTable.size() + SpecialEntityTable.size() + SymbolEntityTable.size();

// Every name of the three tables with its code point, by key.
constexpr std::array<NamedCode, kAllNames> allNamesIndex() {
  std::array<NamedCode, kAllNames> index{};
  std::size_t count = 0;
  const auto insert = [&](std::string_view name, std::uint32_t code) {
    const NamedCode entry{keyOf(name), code};
    std::size_t j = count++;
    for (; j > 0 && entry.key < index[j - 1].key; --j) index[j] = index[j - 1];
    index[j] = entry;
  };
  for (const LatinEntity& row : LatinEntityTable) insert(row.name, row.code);
  for (const SpecialEntity& row : SpecialEntityTable) insert(row.name, decimalCode(row.code));
  for (const SymbolEntity& row : SymbolEntityTable) insert(row.name, row.code);
  return index;
}

constexpr auto kAllByName = allNamesIndex();

constexpr bool allNamesFitAndAreUnique() {
  for (const SymbolEntity& row : SymbolEntityTable) {
    if (row.name.size() > kMaxKeyLength || row.code <= 255) return false;
  }
  for (std::size_t i = 1; i < kAllByName.size(); ++i) {
    if (kAllByName[i - 1].key == kAllByName[i].key) return false;
  }
  return true;
}
static_assert(allNamesFitAndAreUnique());

// The same names in an open-addressed hash table (key 0 marks a free slot),
// a quarter full, so a lookup costs a multiplication and one or two probes.
constexpr std::size_t kNameSlots = 1024;

constexpr std::size_t slotOf(std::uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 54) % kNameSlots;
}

constexpr std::array<NamedCode, kNameSlots> nameTable() {
  std::array<NamedCode, kNameSlots> table{};
  for (const NamedCode& entry : kAllByName) {
    std::size_t slot = slotOf(entry.key);
    while (table[slot].key != 0) slot = (slot + 1) % kNameSlots;
    table[slot] = entry;
  }
  return table;
}

constexpr auto kNameTable = nameTable();

// The special table's codes as numbers, in the table's (ascending) order.
constexpr std::array<std::uint32_t, SpecialEntityTable.size()> specialCodes() {
  std::array<std::uint32_t, SpecialEntityTable.size()> codes{};
  for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = decimalCode(SpecialEntityTable[i].code);
  return codes;
}

constexpr auto kSpecialCodes = specialCodes();

constexpr bool specialCodesAscend() {
  for (std::size_t i = 1; i < kSpecialCodes.size(); ++i)
    if (kSpecialCodes[i - 1] >= kSpecialCodes[i]) return false;
  return true;
}
static_assert(specialCodesAscend());

template <typename Row, std::size_t N>
const Row* find(const std::array<Row, N>& rows, const std::array<KeyedRow, N>& index,
                std::string_view text) {
  if (unfitKey(text)) return nullptr;
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

const SpecialEntity* findSpecialEntityByCodePoint(std::uint32_t code) {
  const auto it = std::lower_bound(kSpecialCodes.begin(), kSpecialCodes.end(), code);
  if (it == kSpecialCodes.end() || *it != code) return nullptr;
  return &SpecialEntityTable[static_cast<std::size_t>(it - kSpecialCodes.begin())];
}

const char* specialReplacementForCode(std::uint32_t code) {
  const SpecialEntity* row = findSpecialEntityByCodePoint(code);
  return row != nullptr ? row->replacement.data() : nullptr;
}

std::uint32_t entityCodePoint(std::string_view name) {
  if (unfitKey(name) || name.empty()) return 0;
  return entityCodePointOfKey(keyOf(name));
}

std::uint32_t entityCodePointOfKey(std::uint64_t key) {
  for (std::size_t slot = slotOf(key);; slot = (slot + 1) % kNameSlots) {
    const NamedCode& entry = kNameTable[slot];
    if (entry.key == key) return entry.code;
    if (entry.key == 0) return 0;
  }
}

}  // namespace korvo
