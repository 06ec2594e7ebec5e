// Header parsing: the start-of-image check, the marker loop up to the
// start-of-scan code, the segment parsers it calls (frame header, Huffman and
// quantisation tables, restart interval, skipped segments) and, once the
// driver has the coefficient storage, the scan header.
//
// Tolerates fill bytes before any marker code, segments in any order, tables
// that are redefined, and progressive frame headers (their scans are checked
// here, their blocks are never decoded). Refuses everything else that is not
// a plain 8-bit baseline stream with one or three components: the first
// failed check writes one "Error - " line, clears `valid` and ends parsing.
// Every read checks the end of the stream first, so a truncated or lying
// header ends with "File ended prematurely" and never reads past `size`.
#include "decoder/markers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace shardcast {
namespace {

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

enum class MarkerAction : std::uint8_t {
  Unknown,
  Frame,
  HuffmanTables,
  QuantTables,
  RestartInterval,
  Application,
  Comment,
  StartOfScan,
  Nothing,
  EmbeddedImage,
  EndOfImage,
  ArithmeticCoding,
  UnsupportedFrame,
  Restart,
};

constexpr std::array<MarkerAction, 256> make_marker_actions() {
  std::array<MarkerAction, 256> actions{};  // Unknown
  for (int code = 0xC0; code <= 0xCF; ++code) {
    actions[code] = MarkerAction::UnsupportedFrame;
  }
  actions[baseline_frame] = MarkerAction::Frame;
  actions[progressive_frame] = MarkerAction::Frame;
  actions[0xC4] = MarkerAction::HuffmanTables;
  actions[0xCC] = MarkerAction::ArithmeticCoding;
  for (int code = 0xD0; code <= 0xD7; ++code) {
    actions[code] = MarkerAction::Restart;
  }
  actions[0xD8] = MarkerAction::EmbeddedImage;
  actions[0xD9] = MarkerAction::EndOfImage;
  actions[0xDA] = MarkerAction::StartOfScan;
  actions[0xDB] = MarkerAction::QuantTables;
  actions[0xDC] = MarkerAction::Comment;  // DNL
  actions[0xDD] = MarkerAction::RestartInterval;
  actions[0xDE] = MarkerAction::Comment;  // DHP
  actions[0xDF] = MarkerAction::Comment;  // EXP
  for (int code = 0xE0; code <= 0xEF; ++code) {
    actions[code] = MarkerAction::Application;
  }
  for (int code = 0xF0; code <= 0xFE; ++code) {
    actions[code] = MarkerAction::Comment;  // JPG0-JPG13 and COM
  }
  actions[0x01] = MarkerAction::Nothing;  // TEM has no segment
  return actions;
}

constexpr std::array<MarkerAction, 256> marker_actions = make_marker_actions();

// The component number that an id in a frame or scan header stands for.
std::uint8_t component_number(const DecoderState& state, std::uint8_t id) {
  return state.ids_from_zero ? static_cast<std::uint8_t>(id + 1) : id;
}

bool is_supported_factor(std::uint8_t factor) { return factor == 1 || factor == 2; }

// The frame's precision and size, and the block geometry that follows from
// it. False when the parsing is to end.
bool parse_frame_size(HeaderReader& in) {
  DecoderState& state = in.state;
  std::uint8_t precision = 0;
  if (!in.byte(precision)) {
    return false;
  }
  if (precision != 8) {
    in.fail(Message::InvalidPrecision, precision);
    return false;
  }
  std::uint16_t height = 0;
  std::uint16_t width = 0;
  if (!in.word(height) || !in.word(width)) {
    return false;
  }
  state.height = height;
  state.width = width;
  if (height == 0 || width == 0) {
    in.fail(Message::InvalidDimensions);
    return false;
  }
  state.block_rows = state.padded_block_rows = (state.height + 7) / 8;
  state.block_cols = state.padded_block_cols = (state.width + 7) / 8;
  return true;
}

// Component 1 may be sampled 1 or 2 each way and sets the MCU; the others
// must be 1x1.
bool accept_sampling(HeaderReader& in, std::uint8_t number, const ComponentSpec& component) {
  DecoderState& state = in.state;
  if (number != 1) {
    if (component.h_factor != 1 || component.v_factor != 1) {
      in.fail(Message::SamplingNotSupported);
      return false;
    }
    return true;
  }
  if (!is_supported_factor(component.h_factor) || !is_supported_factor(component.v_factor)) {
    in.fail(Message::SamplingNotSupported);
    return false;
  }
  // A luma MCU two blocks wide or high needs whole MCUs of storage.
  if (component.h_factor == 2 && state.block_cols % 2 == 1) {
    state.padded_block_cols += 1;
  }
  if (component.v_factor == 2 && state.block_rows % 2 == 1) {
    state.padded_block_rows += 1;
  }
  state.mcu_h_blocks = component.h_factor;
  state.mcu_v_blocks = component.v_factor;
  return true;
}

// The i-th component of the frame header: id, sampling and table. False
// when the parsing is to end.
bool parse_frame_component(HeaderReader& in, std::uint8_t i) {
  DecoderState& state = in.state;
  std::uint8_t id = 0;
  if (!in.byte(id)) {
    return false;
  }
  if (i == 0 && id == 0) {
    state.ids_from_zero = true;
  }
  const std::uint8_t number = component_number(state, id);
  if (number == 0 || number > state.component_count) {
    in.fail(Message::InvalidComponentId, number);
    return false;
  }
  ComponentSpec& component = state.components[number - 1];
  if (component.in_frame) {
    in.fail(Message::DuplicateComponentId, number);
    return false;
  }
  component.in_frame = true;

  std::uint8_t sampling = 0;
  if (!in.byte(sampling)) {
    return false;
  }
  component.h_factor = sampling >> 4;
  component.v_factor = sampling & 0x0F;
  if (!accept_sampling(in, number, component)) {
    return false;
  }

  if (!in.byte(component.quant_id)) {
    return false;
  }
  if (component.quant_id > 3) {
    in.fail(Message::InvalidQuantTableId, component.quant_id);
    return false;
  }
  return true;
}

void parse_sof(HeaderReader& in) {
  DecoderState& state = in.state;
  in.messages.line(Message::ReadingSof);
  if (state.component_count != 0) {
    in.fail(Message::MultipleSofs);
    return;
  }

  std::uint16_t length = 0;
  if (!in.word(length) || !parse_frame_size(in)) {
    return;
  }

  std::uint8_t count = 0;
  if (!in.byte(count)) {
    return;
  }
  state.component_count = count;
  if (count == 4) {
    in.fail(Message::CmykNotSupported);
    return;
  }
  if (count != 1 && count != 3) {
    in.messages.component_count_line(count);
    state.valid = false;
    return;
  }
  for (std::uint8_t i = 0; i < count; ++i) {
    if (!parse_frame_component(in, i)) {
      return;
    }
  }

  if (int{length} - 3 * int{count} != 8) {
    in.fail(Message::SofInvalid);
  }
}

// One table of a DHT or DQT segment, read after its table byte: the table
// id, the byte's high nibble (class or precision), and the bytes the table
// used, its table byte included. False when the parsing is to end.
using TableReader = bool (*)(HeaderReader& in, std::uint8_t id, std::uint8_t high_nibble, std::int32_t& used);

bool read_huffman_table(HeaderReader& in, std::uint8_t id, std::uint8_t table_class, std::int32_t& used) {
  HuffmanTable& table = table_class == 0 ? in.state.dc_tables[id] : in.state.ac_tables[id];
  table.defined = true;
  table.offsets[0] = 0;

  // The offsets may wrap while the counts are read; the total decides
  // before any of them is used.
  std::uint32_t total = 0;
  for (int bit_length = 1; bit_length <= 16; ++bit_length) {
    std::uint8_t count = 0;
    if (!in.byte(count)) {
      return false;
    }
    table.offsets[bit_length] = static_cast<std::uint8_t>(table.offsets[bit_length - 1] + count);
    total += count;
  }
  if (total > max_huffman_symbols) {
    in.fail(Message::TooManyHuffmanSymbols, total);
    return false;
  }
  for (std::uint32_t i = 0; i < total; ++i) {
    if (!in.byte(table.symbols[i])) {
      return false;
    }
  }
  derive_codes(table);
  used = static_cast<std::int32_t>(17 + total);
  return true;
}

bool read_quant_table(HeaderReader& in, std::uint8_t id, std::uint8_t precision, std::int32_t& used) {
  QuantTable& table = in.state.quant_tables[id];
  table.defined = true;
  const bool wide = precision != 0;
  for (std::size_t k = 0; k < 64; ++k) {
    std::uint16_t value = 0;
    if (wide) {
      if (!in.word(value)) {
        return false;
      }
    } else {
      std::uint8_t narrow = 0;
      if (!in.byte(narrow)) {
        return false;
      }
      value = narrow;
    }
    table.values[zigzag_order[k]] = value;
  }
  used = wide ? 129 : 65;
  return true;
}

// The loop DHT and DQT segments share: the length, then tables until it is
// used up, each opening with a byte whose low nibble is the table id (0-3).
// Ends with `invalid` when the tables do not fill the length exactly.
void parse_table_segment(HeaderReader& in, Message invalid_id, Message invalid, TableReader read_table) {
  std::uint16_t length = 0;
  if (!in.word(length)) {
    return;
  }
  std::int32_t remaining = std::int32_t{length} - 2;
  while (remaining > 0) {
    std::uint8_t table_byte = 0;
    if (!in.byte(table_byte)) {
      return;
    }
    const std::uint8_t id = table_byte & 0x0F;
    if (id > 3) {
      in.fail(invalid_id, id);
      return;
    }
    std::int32_t used = 0;
    if (!read_table(in, id, static_cast<std::uint8_t>(table_byte >> 4), used)) {
      return;
    }
    remaining -= used;
  }
  if (remaining != 0) {
    in.fail(invalid);
  }
}

void parse_dht(HeaderReader& in) {
  in.messages.line(Message::ReadingDht);
  parse_table_segment(in, Message::InvalidHuffmanTableId, Message::DhtInvalid, read_huffman_table);
}

void parse_dqt(HeaderReader& in) {
  in.messages.line(Message::ReadingDqt);
  parse_table_segment(in, Message::InvalidQuantTableId, Message::DqtInvalid, read_quant_table);
}

// The interval is kept whatever the length says; exactly four bytes are read.
void parse_dri(HeaderReader& in) {
  in.messages.line(Message::ReadingDri);
  std::uint16_t length = 0;
  std::uint16_t interval = 0;
  if (!in.word(length) || !in.word(interval)) {
    return;
  }
  in.state.restart_interval = interval;
  if (length != 4) {
    in.fail(Message::DriInvalid);
  }
}

// APPn segments and the COM family differ only in their lines.
void skip_segment(HeaderReader& in, Message progress, Message invalid) {
  in.messages.line(progress);
  std::uint16_t length = 0;
  if (!in.word(length)) {
    return;
  }
  if (length < 2) {
    in.fail(invalid);
    return;
  }
  in.skip(length - 2u);
}

void skip_comment_segment(HeaderReader& in) { skip_segment(in, Message::ReadingCom, Message::ComInvalid); }

void skip_application_segment(HeaderReader& in) { skip_segment(in, Message::ReadingAppn, Message::AppnInvalid); }

// One component of the scan header: which one, and its two Huffman tables.
// False when the parsing is to end.
bool parse_scan_component(HeaderReader& in) {
  DecoderState& state = in.state;
  std::uint8_t id = 0;
  if (!in.byte(id)) {
    return false;
  }
  const std::uint8_t number = component_number(state, id);
  if (number == 0 || number > state.component_count || !state.components[number - 1].in_frame) {
    in.fail(Message::InvalidColorComponentId, number);
    return false;
  }
  ComponentSpec& component = state.components[number - 1];
  if (component.in_scan) {
    in.fail(Message::DuplicateComponentId, number);
    return false;
  }
  component.in_scan = true;

  std::uint8_t tables = 0;
  if (!in.byte(tables)) {
    return false;
  }
  component.dc_table_id = tables >> 4;
  component.ac_table_id = tables & 0x0F;
  if (component.dc_table_id > 3) {
    in.fail(Message::InvalidHuffmanDcTableId, component.dc_table_id);
    return false;
  }
  if (component.ac_table_id > 3) {
    in.fail(Message::InvalidHuffmanAcTableId, component.ac_table_id);
    return false;
  }
  return true;
}

// The first spectral-selection or approximation check the frame type
// fails, if any.
std::optional<Message> spectral_selection_fault(const DecoderState& state) {
  if (state.frame_marker == baseline_frame) {
    if (state.spectral_start != 0 || state.spectral_end != 63) {
      return Message::InvalidSpectralSelection;
    }
    if (state.approx_high != 0 || state.approx_low != 0) {
      return Message::InvalidSuccessiveApproximation;
    }
  } else if (state.frame_marker == progressive_frame) {
    if (state.spectral_start > state.spectral_end) {
      return Message::SpectralStartAfterEnd;
    }
    if (state.spectral_end > 63) {
      return Message::SpectralEndAbove63;
    }
    if (state.spectral_start == 0 && state.spectral_end != 0) {
      return Message::SpectralDcAndAc;
    }
    if (state.spectral_start != 0 && state.scan_component_count != 1) {
      return Message::SpectralAcMultipleComponents;
    }
    if (state.approx_high != 0 && state.approx_low != state.approx_high - 1) {
      return Message::InvalidSuccessiveApproximation;
    }
  }
  return std::nullopt;
}

bool accept_spectral_selection(HeaderReader& in) {
  if (const std::optional<Message> fault = spectral_selection_fault(in.state)) {
    in.fail(*fault);
    return false;
  }
  return true;
}

// Every table a scan component needs must be defined by now, checked in
// frame order.
bool accept_scan_tables(HeaderReader& in) {
  const DecoderState& state = in.state;
  for (std::uint8_t n = 0; n < state.component_count; ++n) {
    const ComponentSpec& component = state.components[n];
    if (!component.in_scan) {
      continue;
    }
    if (!state.quant_tables[component.quant_id].defined) {
      in.fail(Message::UninitializedQuantTable);
      return false;
    }
    if (state.spectral_start == 0 && !state.dc_tables[component.dc_table_id].defined) {
      in.fail(Message::UninitializedDcTable);
      return false;
    }
    if (state.spectral_end > 0 && !state.ac_tables[component.ac_table_id].defined) {
      in.fail(Message::UninitializedAcTable);
      return false;
    }
  }
  return true;
}

// Handles one marker code; false when the loop is to end, either at the
// start-of-scan code or because a check failed.
bool handle_marker(HeaderReader& in, std::uint8_t code) {
  switch (marker_actions[code]) {
    case MarkerAction::Frame:
      in.state.frame_marker = code;
      parse_sof(in);
      break;
    case MarkerAction::HuffmanTables:
      parse_dht(in);
      break;
    case MarkerAction::QuantTables:
      parse_dqt(in);
      break;
    case MarkerAction::RestartInterval:
      parse_dri(in);
      break;
    case MarkerAction::Application:
      skip_application_segment(in);
      break;
    case MarkerAction::Comment:
      skip_comment_segment(in);
      break;
    case MarkerAction::StartOfScan:
      return false;
    case MarkerAction::Nothing:
      break;
    case MarkerAction::EmbeddedImage:
      in.fail(Message::EmbeddedJpeg);
      break;
    case MarkerAction::EndOfImage:
      in.fail(Message::EoiBeforeSos);
      break;
    case MarkerAction::ArithmeticCoding:
      in.fail(Message::ArithmeticCoding);
      break;
    case MarkerAction::UnsupportedFrame:
      in.fail(Message::SofNotSupported, code);
      break;
    case MarkerAction::Restart:
      in.fail(Message::RstBeforeSos);
      break;
    case MarkerAction::Unknown:
      in.fail(Message::UnknownMarker, code);
      break;
  }
  return in.state.valid;
}

}  // namespace

void derive_codes(HuffmanTable& table) {
  std::uint32_t code = 0;
  for (std::size_t bit_length = 1; bit_length <= 16; ++bit_length) {
    for (std::uint32_t i = table.offsets[bit_length - 1]; i < table.offsets[bit_length] && i < max_huffman_symbols;
         ++i) {
      table.codes[i] = code;
      code += 1;
    }
    code <<= 1;
  }
}

void parse_markers(StreamCursor& cursor, DecoderState& state, MessageWriter& messages) {
  HeaderReader in{cursor, state, messages};
  if (cursor.remaining() < 2) {
    in.fail(Message::SoiInvalid);
    return;
  }
  const std::uint8_t first = cursor.read_byte();
  const std::uint8_t second = cursor.read_byte();
  if (first != 0xFF || second != 0xD8) {
    in.fail(Message::SoiInvalid);
    return;
  }

  for (;;) {
    if (cursor.remaining() < 2) {
      in.fail(Message::FileEndedPrematurely);
      return;
    }
    const std::uint8_t prefix = cursor.read_byte();
    std::uint8_t code = cursor.read_byte();
    if (prefix != 0xFF) {
      in.fail(Message::ExpectedMarker);
      return;
    }
    while (code == 0xFF) {
      if (!in.byte(code)) {
        return;
      }
    }
    if (!handle_marker(in, code)) {
      return;
    }
  }
}

void parse_sos(StreamCursor& cursor, DecoderState& state, MessageWriter& messages) {
  HeaderReader in{cursor, state, messages};
  messages.line(Message::ReadingSos);
  if (state.component_count == 0) {
    in.fail(Message::SosBeforeSof);
    return;
  }

  std::uint16_t length = 0;
  if (!in.word(length)) {
    return;
  }
  for (std::uint8_t n = 0; n < state.component_count; ++n) {
    state.components[n].in_scan = false;
  }

  if (!in.byte(state.scan_component_count)) {
    return;
  }
  if (state.scan_component_count == 0) {
    in.fail(Message::ScanWithoutComponents);
    return;
  }
  for (std::uint8_t i = 0; i < state.scan_component_count; ++i) {
    if (!parse_scan_component(in)) {
      return;
    }
  }

  std::uint8_t approximation = 0;
  if (!in.byte(state.spectral_start) || !in.byte(state.spectral_end) || !in.byte(approximation)) {
    return;
  }
  state.approx_high = approximation >> 4;
  state.approx_low = approximation & 0x0F;
  if (!accept_spectral_selection(in) || !accept_scan_tables(in)) {
    return;
  }

  if (int{length} - 2 * int{state.scan_component_count} != 6) {
    in.fail(Message::SosInvalid);
  }
}

}  // namespace shardcast
