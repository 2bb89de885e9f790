#pragma once
// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#include <string>

namespace korvo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, ending in "/".
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& text);
// The text of a file under tests/data.
std::string dataFile(const std::string& name);

}  // namespace korvo::test
