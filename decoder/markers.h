// Header parsing: the marker loop up to the start-of-scan code (markers.cpp)
// with the segment parsers it calls (frame_header.cpp, table_segments.cpp),
// and the scan header parser (scan_header.cpp).
#pragma once

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

// Checks SOI and parses every segment up to the SOS code; on success the
// cursor stands on the scan header's length field and state.valid is true.
void parse_markers(StreamCursor& cursor, DecoderState& state, MessageWriter& messages);
// Parses and checks the scan header; on success the cursor stands on the
// first byte of entropy-coded data.
void parse_sos(StreamCursor& cursor, DecoderState& state, MessageWriter& messages);
// Canonical Huffman codes from the table's offsets.
void derive_codes(HuffmanTable& table);

}  // namespace shardcast
