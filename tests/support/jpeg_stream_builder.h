// Builds small JPEG streams by hand for tests: marker segments with their
// length fields filled in, and entropy-coded data written bit by bit with
// byte stuffing. Nothing here checks what it writes, so tests can build
// broken streams as easily as good ones.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace shardcast::testing {

using Bytes = std::vector<std::uint8_t>;

struct FrameComponent {
  std::uint8_t id;
  std::uint8_t sampling;  // high nibble horizontal, low nibble vertical
  std::uint8_t quant_id;
};

struct ScanComponent {
  std::uint8_t id;
  std::uint8_t tables;  // high nibble DC table, low nibble AC table
};

class JpegStreamBuilder {
 public:
  JpegStreamBuilder& soi() { return raw({0xFF, 0xD8}); }
  JpegStreamBuilder& eoi() { return raw({0xFF, 0xD9}); }
  JpegStreamBuilder& marker(std::uint8_t code) { return raw({0xFF, code}); }

  JpegStreamBuilder& raw(std::initializer_list<std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
  }
  JpegStreamBuilder& raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  // A segment whose length field is payload size + 2.
  JpegStreamBuilder& segment(std::uint8_t code, const Bytes& payload) {
    return segment_with_length(code, static_cast<std::uint16_t>(payload.size() + 2), payload);
  }
  // A segment with a length field that may disagree with its payload.
  JpegStreamBuilder& segment_with_length(std::uint8_t code, std::uint16_t length, const Bytes& payload) {
    marker(code);
    bytes_.push_back(static_cast<std::uint8_t>(length >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(length & 0xFF));
    return raw(payload);
  }

  JpegStreamBuilder& app0() { return segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}); }

  // One 8-bit table; values in the stream's (zig-zag) order.
  static Bytes dqt_table(std::uint8_t id, const std::array<std::uint8_t, 64>& zigzag_values) {
    Bytes table{id};
    table.insert(table.end(), zigzag_values.begin(), zigzag_values.end());
    return table;
  }
  JpegStreamBuilder& dqt(std::uint8_t id, const std::array<std::uint8_t, 64>& zigzag_values) {
    return segment(0xDB, dqt_table(id, zigzag_values));
  }
  JpegStreamBuilder& dqt_all(std::uint8_t id, std::uint8_t value) {
    std::array<std::uint8_t, 64> values;
    values.fill(value);
    return dqt(id, values);
  }

  // table_class 0 is DC, 1 is AC; counts[L - 1] codes of length L.
  static Bytes dht_table(std::uint8_t table_class, std::uint8_t id, const std::array<std::uint8_t, 16>& counts,
                         const Bytes& symbols) {
    Bytes table{static_cast<std::uint8_t>(table_class << 4 | id)};
    table.insert(table.end(), counts.begin(), counts.end());
    table.insert(table.end(), symbols.begin(), symbols.end());
    return table;
  }
  JpegStreamBuilder& dht(std::uint8_t table_class, std::uint8_t id, const std::array<std::uint8_t, 16>& counts,
                         const Bytes& symbols) {
    return segment(0xC4, dht_table(table_class, id, counts, symbols));
  }

  JpegStreamBuilder& sof(std::uint8_t code, std::uint16_t height, std::uint16_t width,
                         std::initializer_list<FrameComponent> components, std::uint8_t precision = 8) {
    Bytes payload{precision,
                  static_cast<std::uint8_t>(height >> 8),
                  static_cast<std::uint8_t>(height),
                  static_cast<std::uint8_t>(width >> 8),
                  static_cast<std::uint8_t>(width),
                  static_cast<std::uint8_t>(components.size())};
    for (const FrameComponent& c : components) {
      payload.insert(payload.end(), {c.id, c.sampling, c.quant_id});
    }
    return segment(code, payload);
  }

  JpegStreamBuilder& sos(std::initializer_list<ScanComponent> components, std::uint8_t spectral_start = 0,
                         std::uint8_t spectral_end = 63, std::uint8_t approximation = 0) {
    Bytes payload{static_cast<std::uint8_t>(components.size())};
    for (const ScanComponent& c : components) {
      payload.insert(payload.end(), {c.id, c.tables});
    }
    payload.insert(payload.end(), {spectral_start, spectral_end, approximation});
    return segment(0xDA, payload);
  }

  JpegStreamBuilder& dri(std::uint16_t interval) {
    return segment(0xDD, {static_cast<std::uint8_t>(interval >> 8), static_cast<std::uint8_t>(interval)});
  }

  const Bytes& bytes() const { return bytes_; }
  Bytes build() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Writes entropy-coded data: bits most significant first, a stuffed 0x00
// after every 0xFF data byte, the last byte padded with one bits.
class BitWriter {
 public:
  BitWriter& bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      bit((value >> i) & 1u);
    }
    return *this;
  }
  BitWriter& bit(std::uint32_t b) {
    current_ = static_cast<std::uint8_t>(current_ << 1 | (b & 1u));
    if (++filled_ == 8) {
      emit();
    }
    return *this;
  }
  // A byte that goes out as it is, e.g. a marker in the middle of the data.
  BitWriter& raw_byte(std::uint8_t byte) {
    pad();
    bytes_.push_back(byte);
    return *this;
  }
  BitWriter& pad() {
    while (filled_ != 0) {
      bit(1);
    }
    return *this;
  }
  Bytes finish() {
    pad();
    return bytes_;
  }

 private:
  void emit() {
    bytes_.push_back(current_);
    if (current_ == 0xFF) {
      bytes_.push_back(0x00);
    }
    current_ = 0;
    filled_ = 0;
  }

  Bytes bytes_;
  std::uint8_t current_ = 0;
  int filled_ = 0;
};

}  // namespace shardcast::testing
