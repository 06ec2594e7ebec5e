// Reads harness settings off the front of a fuzz input, so that one input
// carries both the options and the bytes they apply to, and libFuzzer can
// mutate both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace shardcast::fuzzing {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // The next byte, or 0 once the input is used up.
  std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
  std::uint32_t u32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      value = value << 8 | byte();
    }
    return value;
  }
  bool flag() { return (byte() & 1) != 0; }

  const std::uint8_t* rest() const { return data_ + position_; }
  std::size_t rest_size() const { return position_ < size_ ? size_ - position_ : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace shardcast::fuzzing
