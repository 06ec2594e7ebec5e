// The scan header, parsed once the driver has the coefficient storage:
// which components the scan lists with their Huffman tables, the spectral
// selection and successive approximation, checked against the frame type,
// and every table a listed component needs, checked to be defined.
//
// Only the first scan of a stream is ever parsed. Refuses a scan before
// the frame header, no components, a component not in the frame or listed
// twice, a table id above 3, a selection the frame type does not allow, an
// undefined table and a length that does not fit the components. On success
// the cursor stands on the first byte of entropy-coded data.
#include <cstdint>
#include <optional>

#include "decoder/header_reader.h"
#include "decoder/markers.h"

namespace shardcast {
namespace {

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

}  // namespace

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
