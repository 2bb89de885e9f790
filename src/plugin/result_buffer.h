#pragma once
// The one buffer through which query texts reach the host: at most 32767
// text bytes and a zero byte. Longer texts are cut, never inside a
// character of the code page the texts are written in.
#include <array>
#include <cstring>
#include <string_view>

#include "base/limits.h"
#include "text/target_code_page.h"

namespace korvo {

class ResultBuffer {
 public:
  static constexpr std::size_t kCapacity = limits::kResultBufferSize - 1;

  void clear() { size_ = 0, data_[0] = '\0'; }
  void setCodePage(unsigned cp) { codePage_ = cp; }
  // Appends text, which starts with a whole character.
  void append(std::string_view text) {
    std::size_t n = text.size();
    if (n > kCapacity - size_) n = characterBoundary(text, kCapacity - size_, codePage_);
    std::memcpy(data_.data() + size_, text.data(), n);
    size_ += n;
    data_[size_] = '\0';
  }
  const char* c_str() const { return data_.data(); }
  std::size_t size() const { return size_; }

 private:
  std::array<char, limits::kResultBufferSize> data_{};
  std::size_t size_ = 0;
  unsigned codePage_ = charset::kLatin1;
};

}  // namespace korvo
