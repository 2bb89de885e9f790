#pragma once
// A text file that several processes append whole lines to, any of which
// may move it aside when it is full ("rotate"). Each append takes a lock
// that every process using the file takes, on the file the name stands for
// at that moment, so that lines never mix, none is lost, and one crossing
// of the size bound moves the file aside once. Not thread-safe: one thread
// at a time per object. Nothing here throws; a failure is a return value.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvo::files {

class SharedLogFile {
 public:
  SharedLogFile() = default;
  ~SharedLogFile() { close(); }
  SharedLogFile(const SharedLogFile&) = delete;
  SharedLogFile& operator=(const SharedLogFile&) = delete;

  // Opens path for appending, creating it when missing; false (and nothing
  // open) when it cannot be, or names no regular file: a FIFO or a device
  // is never opened for writing, since that could block.
  bool open(const std::string& path);
  // False when closing reported a failure.
  bool close();
  bool isOpen() const;

  // Appends text in one piece, each "\n" as the system's line end ("\r\n"
  // on Windows). Under the lock: when path names another file than the one
  // open (another process moved it aside), that file is opened first; then,
  // when the file holds anything and text would take it past maxBytes, it
  // is renamed to rotatedPath (replacing that file) and a new file begins
  // at path, which text goes into. A rotation that fails leaves the file
  // where it is and text goes at its end. *rotated, when given, tells
  // whether this call rotated. False when text could not be written.
  bool append(std::string_view text, std::uint64_t maxBytes, const std::string& rotatedPath,
              bool* rotated = nullptr);

 private:
  std::string path_;
  std::intptr_t native_ = -1;  // the system's file descriptor or handle; -1 when closed
};

}  // namespace korvo::files
