// The PE files of the Windows build: korvo.dll exports exactly the 31
// entry points under their plain names, and neither it nor korvo-host.exe
// needs any DLL that is not part of Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

struct PeTables {
  std::uint16_t machine = 0;
  std::vector<std::string> exports;
  std::vector<std::string> imports;  // DLL names
};

// Reads the export and import directories of a PE file; machine stays 0
// when the file is not one.
PeTables readPe(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PeTables out;
  auto fits = [&](std::uint64_t offset, std::uint64_t size) {
    return offset <= image.size() && size <= image.size() - offset;
  };
  auto at = [&](std::uint64_t offset, auto& value) {
    if (!fits(offset, sizeof value)) return false;
    std::memcpy(&value, image.data() + offset, sizeof value);
    return true;
  };
  IMAGE_DOS_HEADER dos;
  if (!at(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return out;
  DWORD signature = 0;
  IMAGE_FILE_HEADER file;
  const std::uint64_t peAt = static_cast<std::uint32_t>(dos.e_lfanew);
  if (!at(peAt, signature) || signature != IMAGE_NT_SIGNATURE || !at(peAt + 4, file)) return out;
  const std::uint64_t optionalAt = peAt + 4 + sizeof file;
  WORD magic = 0;
  if (!at(optionalAt, magic)) return out;
  std::uint64_t directoriesAt = 0;
  if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    directoriesAt = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
  else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
    directoriesAt = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
  else
    return out;
  const std::uint64_t sectionsAt = optionalAt + file.SizeOfOptionalHeader;
  auto fileOffset = [&](std::uint32_t rva) -> std::uint64_t {
    for (WORD i = 0; i < file.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER s;
      if (!at(sectionsAt + i * sizeof s, s)) break;
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return std::uint64_t{rva} - s.VirtualAddress + s.PointerToRawData;
    }
    return image.size();
  };
  auto text = [&](std::uint32_t rva) {
    const std::uint64_t offset = fileOffset(rva);
    if (offset >= image.size()) return std::string();
    return std::string(image.c_str() + offset, strnlen(image.c_str() + offset, image.size() - offset));
  };
  out.machine = file.Machine;

  IMAGE_DATA_DIRECTORY exportDir, importDir;
  at(directoriesAt + IMAGE_DIRECTORY_ENTRY_EXPORT * sizeof exportDir, exportDir);
  at(directoriesAt + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof importDir, importDir);
  IMAGE_EXPORT_DIRECTORY exports;
  if (exportDir.VirtualAddress != 0 && at(fileOffset(exportDir.VirtualAddress), exports)) {
    for (DWORD i = 0; i < exports.NumberOfNames && i < 100000; ++i) {
      DWORD nameRva = 0;
      if (!at(fileOffset(exports.AddressOfNames) + i * 4, nameRva)) break;
      out.exports.push_back(text(nameRva));
    }
  }
  for (std::uint64_t d = fileOffset(importDir.VirtualAddress); importDir.VirtualAddress != 0;
       d += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (!at(d, descriptor) || descriptor.Name == 0) break;
    out.imports.push_back(text(descriptor.Name));
  }
  return out;
}

std::string systemDirectory() {
  char dir[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryA(dir, sizeof dir);
  return n > 0 && n <= MAX_PATH ? std::string(dir, n) + "\\" : std::string();
}

constexpr std::uint16_t kThisMachine =
    sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

TEST(WindowsExportsTest, ExportTableHoldsExactlyThePlainEntryPointNames) {
  const PeTables pe = readPe(KORVO_PLUGIN_PATH);
  ASSERT_EQ(pe.machine, kThisMachine) << KORVO_PLUGIN_PATH;
  const std::set<std::string> exported(pe.exports.begin(), pe.exports.end());
  EXPECT_EQ(exported.size(), pe.exports.size()) << "a name exported twice";
  EXPECT_EQ(exported, std::set<std::string>(kEntryPointNames.begin(), kEntryPointNames.end()));
  for (const std::string& name : pe.exports)
    EXPECT_EQ(name.find_first_of("@?"), std::string::npos) << "decorated: " << name;
}

TEST(WindowsExportsTest, NeedsOnlyDllsOfWindowsItself) {
  const std::string system = systemDirectory();
  ASSERT_FALSE(system.empty());
  for (const char* program : {KORVO_PLUGIN_PATH, KORVO_HOST_PATH}) {
    SCOPED_TRACE(program);
    const PeTables pe = readPe(program);
    ASSERT_EQ(pe.machine, kThisMachine);
    EXPECT_FALSE(pe.imports.empty());
    for (const std::string& dll : pe.imports) {
      EXPECT_NE(GetFileAttributesA((system + dll).c_str()), INVALID_FILE_ATTRIBUTES)
          << dll << " is not a system DLL";
      for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread", "libtinyxml"})
        EXPECT_NE(dll.rfind(runtime, 0), 0u) << "needs the DLL " << dll;
    }
  }
}

TEST(WindowsExportsTest, LoadsResolvesAndUnloads) {
  TempDir dir;
  PluginLibrary lib(dir.path());
  ASSERT_TRUE(lib.loaded()) << lib.error();
  EXPECT_TRUE(lib.missing().empty()) << lib.error();
  EXPECT_TRUE(isMapped(lib.path()));
  lib.unload();
  EXPECT_FALSE(isMapped(lib.path())) << "FreeLibrary left the DLL loaded";
}

}  // namespace
}  // namespace korvo::test
