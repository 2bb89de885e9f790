#pragma once
// A document's text in a buffer of its own, which nothing fills before it
// is written (a std::string sets every byte it grows by): a step that
// writes a whole document once writes each byte once. Used only inside the
// feed layer.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace korvo {

class DocumentBuffer {
 public:
  bool empty() const { return bytes_ == nullptr; }
  char* data() { return bytes_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  // size bytes and the zero byte after them (which a parse that reads up
  // to a zero byte needs).
  std::string_view text() const { return {bytes_.get(), size_}; }

  // Room for capacity bytes and a zero byte; the bytes written so far
  // (size) are kept.
  void reserve(std::size_t capacity) {
    if (bytes_ != nullptr && capacity <= capacity_) return;
    std::unique_ptr<char[]> grown(new char[capacity + 1]);
    if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
    bytes_ = std::move(grown);
    capacity_ = capacity;
  }
  // The first size bytes, size within the capacity, are the text.
  void setSize(std::size_t size) {
    size_ = size;
    bytes_[size] = '\0';
  }
  void assign(std::string_view text) {
    reserve(text.size());
    if (!text.empty()) std::memcpy(bytes_.get(), text.data(), text.size());
    setSize(text.size());
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace korvo
