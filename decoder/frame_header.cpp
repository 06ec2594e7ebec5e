// The frame header (SOF0 and SOF2): precision, size, and one or three
// components with their sampling and quantisation table, from which the
// block geometry and the MCU follow.
//
// Tolerates components in any order and ids numbered from 0. Refuses a
// second frame header, a precision other than 8, a zero size, a component
// count other than 1 or 3, an id out of range or repeated, sampling other
// than 1 or 2 for component 1 and 1x1 for the others, a table id above 3 and
// a length that does not fit the components.
#include <cstdint>

#include "decoder/header_reader.h"

namespace shardcast {
namespace {

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

}  // namespace

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

}  // namespace shardcast
