#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/module_path.h"
#include "support/temp_dir.h"

namespace korvo::files {
namespace {

using test::TempDir;
using test::writeWholeFile;

TEST(FileSystemTest, ReplacesWholeFilesAndSaysWhatIsThere) {
  TempDir dir;
  const std::string folder = dir.path() + "cache";
  ASSERT_TRUE(makeDirectory(folder));
  EXPECT_TRUE(makeDirectory(folder)) << "already there";
  const std::string path = folder + kPathSeparator + "a.bin";
  const std::string bytes("one\r\ntwo\0three\n\x1a\xff", 18);
  ASSERT_TRUE(replaceFile(path, bytes, 1234567890u));
  EXPECT_EQ(readFile(path), bytes);
  ASSERT_TRUE(replaceFile(path, "shorter"));
  EXPECT_EQ(readFile(path), "shorter");
  EXPECT_EQ(readFile(path, 7), "shorter");
  EXPECT_FALSE(readFile(path, 6)) << "larger than the bound";

  ASSERT_TRUE(replaceFile(folder + kPathSeparator + "b.bin", "bb", 1000000000u));
  ASSERT_TRUE(makeDirectory(folder + kPathSeparator + "sub"));
  auto listed = listFiles(folder);
  std::sort(listed.begin(), listed.end(),
            [](const FileInfo& x, const FileInfo& y) { return x.name < y.name; });
  ASSERT_EQ(listed.size(), 2u) << "regular files only, no temporary file left";
  EXPECT_EQ(listed[0].name, "a.bin");
  EXPECT_EQ(listed[0].size, 7u);
  EXPECT_EQ(listed[1].name, "b.bin");
  EXPECT_EQ(listed[1].modified, 1000000000u);

  ASSERT_TRUE(setModifiedTime(path, 2000000000u));
  const auto info = fileInfo(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, "a.bin");
  EXPECT_EQ(info->modified, 2000000000u);
  EXPECT_FALSE(fileInfo(folder + kPathSeparator + "sub")) << "a folder is no file";
  EXPECT_FALSE(readFile(folder + kPathSeparator + "sub"));

  EXPECT_TRUE(removeFile(path));
  EXPECT_FALSE(readFile(path));
  EXPECT_FALSE(removeFile(path));
  EXPECT_FALSE(setModifiedTime(path, 1u));
}

// What the disk cache's pruning compares before it removes a listed file:
// another writer's copy of the same size, stamped with the same second, is
// another file.
TEST(FileSystemTest, AFileWrittenInThePlaceOfAnotherIsNotTheSame) {
  TempDir dir;
  const std::string path = dir.file("copy.bin");
  ASSERT_TRUE(replaceFile(path, "first", 1000000000u));
  const auto listed = listFiles(dir.path());
  ASSERT_EQ(listed.size(), 1u);
  const auto looked = fileInfo(path);
  ASSERT_TRUE(looked);
  EXPECT_TRUE(sameFile(listed[0], *looked)) << "a listing and a look agree";

  ASSERT_TRUE(replaceFile(path, "other", 1000000000u));
  const auto replaced = fileInfo(path);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->size, looked->size);
  EXPECT_EQ(replaced->modified, looked->modified);
  EXPECT_FALSE(sameFile(*replaced, *looked));
}

TEST(FileSystemTest, FailuresChangeNothing) {
  TempDir dir;
  writeWholeFile(dir.file("plain"), "x");
  const std::string underFile = dir.file("plain") + kPathSeparator + "f";
  EXPECT_FALSE(makeDirectory(dir.file("plain")));
  EXPECT_FALSE(makeDirectory(underFile));
  EXPECT_FALSE(replaceFile(underFile, "data"));
  EXPECT_FALSE(replaceFile(dir.file("missing") + kPathSeparator + "f", "data"));
  EXPECT_TRUE(listFiles(dir.file("missing")).empty());
  ASSERT_TRUE(makeDirectory(dir.file("target")));
  EXPECT_FALSE(replaceFile(dir.file("target"), "data")) << "a folder is not replaced";
  auto left = listFiles(dir.path());
  ASSERT_EQ(left.size(), 1u) << "no temporary file left behind";
  EXPECT_EQ(left[0].name, "plain");
}

}  // namespace
}  // namespace korvo::files
