// The export table of the built plug-in: exactly the 31 entry points, no
// C++ name of ours, nothing that would keep dlclose from unloading it.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

struct DynamicSymbol {
  std::string name;
  unsigned char bind;
  bool defined;
};

// The dynamic symbol table of a 64-bit ELF file, read from its section
// headers; empty when the file is not one.
std::vector<DynamicSymbol> dynamicSymbols(const std::string& path) {
  const std::string image = readWholeFile(path);
  auto fits = [&](std::uint64_t offset, std::uint64_t size) {
    return offset <= image.size() && size <= image.size() - offset;
  };
  std::vector<DynamicSymbol> out;
  Elf64_Ehdr header;
  if (!fits(0, sizeof header)) return out;
  std::memcpy(&header, image.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
    return out;
  auto section = [&](std::size_t index) {
    Elf64_Shdr s{};
    std::uint64_t at = header.e_shoff + index * std::uint64_t{header.e_shentsize};
    if (index < header.e_shnum && fits(at, sizeof s)) std::memcpy(&s, image.data() + at, sizeof s);
    return s;
  };
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr symtab = section(i);
    if (symtab.sh_type != SHT_DYNSYM || symtab.sh_entsize != sizeof(Elf64_Sym)) continue;
    Elf64_Shdr strtab = section(symtab.sh_link);
    if (!fits(symtab.sh_offset, symtab.sh_size) || !fits(strtab.sh_offset, strtab.sh_size)) break;
    for (std::uint64_t at = sizeof(Elf64_Sym); at + sizeof(Elf64_Sym) <= symtab.sh_size;
         at += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      std::memcpy(&sym, image.data() + symtab.sh_offset + at, sizeof sym);
      if (sym.st_name >= strtab.sh_size) continue;
      const char* name = image.data() + strtab.sh_offset + sym.st_name;
      out.push_back({std::string(name, strnlen(name, strtab.sh_size - sym.st_name)),
                     static_cast<unsigned char>(ELF64_ST_BIND(sym.st_info)),
                     sym.st_shndx != SHN_UNDEF});
    }
  }
  return out;
}

TEST(ExportsTest, DynamicSymbolTableHoldsExactlyTheEntryPoints) {
  const auto symbols = dynamicSymbols(KORVO_PLUGIN_PATH);
  ASSERT_FALSE(symbols.empty()) << "no dynamic symbol table in " << KORVO_PLUGIN_PATH;
  std::set<std::string> defined;
  for (const DynamicSymbol& s : symbols)
    if (s.defined) defined.insert(s.name);
  const std::set<std::string> expected(kEntryPointNames.begin(), kEntryPointNames.end());
  EXPECT_EQ(defined, expected);
  for (const std::string& name : defined)
    EXPECT_NE(name.rfind("_Z", 0), 0u) << "C++ name exported: " << name;
}

// A GNU_UNIQUE symbol makes the dynamic loader keep the library loaded
// after dlclose; an exit-time destructor registered by the library would
// run after its detach at process exit.
// TinyXML's header brings in <iostream>, whose per-file initialiser is the
// one static object with a destructor allowed in the library; ours are
// never destroyed, so nothing of ours can run after detach.
TEST(ExportsTest, NothingKeepsTheLibraryLoaded) {
  for (const DynamicSymbol& s : dynamicSymbols(KORVO_PLUGIN_PATH))
    EXPECT_NE(s.bind, STB_GNU_UNIQUE) << "unique symbol: " << s.name;
}

TEST(ExportsTest, EveryEntryPointResolvesByName) {
  TempDir dir;
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  EXPECT_TRUE(lib.missing().empty()) << lib.error();
  EXPECT_TRUE(isMapped(lib.path()));
  lib.unload();
  EXPECT_FALSE(isMapped(lib.path())) << "dlclose left the library loaded";
}

}  // namespace
}  // namespace korvo::test
