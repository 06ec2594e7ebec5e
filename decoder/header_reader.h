// What the header parsers share: byte-level reads over the StreamCursor
// that never pass the end of the stream, the way a failed check is reported,
// and the segment parsers the marker loop (markers.cpp) calls, each reading
// its segment from the byte after the marker code: the frame header
// (frame_header.cpp) and the table segments (table_segments.cpp).
#pragma once

#include <cstdint>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

// Byte-level reads for the header parsers. A read that would pass the end of
// the stream reports it once and fails; the parser that asked returns at
// once, so no further line follows.
struct HeaderReader {
  StreamCursor& cursor;
  DecoderState& state;
  MessageWriter& messages;

  void fail(Message message) {
    messages.line(message);
    state.valid = false;
  }
  void fail(Message message, std::uint32_t number) {
    messages.line(message, number);
    state.valid = false;
  }

  bool byte(std::uint8_t& out) {
    if (cursor.remaining() == 0) {
      fail(Message::FileEndedPrematurely);
      return false;
    }
    out = cursor.read_byte();
    return true;
  }

  // Big-endian, high byte first.
  bool word(std::uint16_t& out) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    if (!byte(high) || !byte(low)) {
      return false;
    }
    out = static_cast<std::uint16_t>(high << 8 | low);
    return true;
  }

  // Steps over bytes without looking at them.
  bool skip(std::uint32_t count) {
    if (count > cursor.remaining()) {
      fail(Message::FileEndedPrematurely);
      return false;
    }
    cursor.position += count;
    return true;
  }
};

// The component number that an id in a frame or scan header stands for.
inline std::uint8_t component_number(const DecoderState& state, std::uint8_t id) {
  return state.ids_from_zero ? static_cast<std::uint8_t>(id + 1) : id;
}

void parse_sof(HeaderReader& in);
void parse_dht(HeaderReader& in);
void parse_dqt(HeaderReader& in);

}  // namespace shardcast
