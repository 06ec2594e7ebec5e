// The decoder's texts: every progress line and every error line, each
// defined once in one table. A text that does not end in a newline is
// followed by a number and a newline when written, except the two halves of
// the component-count line, which enclose their number (see message_sink.h).
// The table is checked at compile time to list every message once, in the
// enumeration's order, so that no text can drift onto another message.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace shardcast {

enum class Message {
  // Progress lines.
  ReadingSof,
  ReadingDht,
  ReadingDqt,
  ReadingDri,
  ReadingAppn,
  ReadingCom,
  ReadingSos,
  // Driver.
  MemoryError,
  // Marker loop.
  SoiInvalid,
  FileEndedPrematurely,
  ExpectedMarker,
  EmbeddedJpeg,
  EoiBeforeSos,
  ArithmeticCoding,
  SofNotSupported,
  RstBeforeSos,
  UnknownMarker,
  // Segments.
  DriInvalid,
  AppnInvalid,
  ComInvalid,
  InvalidQuantTableId,
  DqtInvalid,
  InvalidHuffmanTableId,
  TooManyHuffmanSymbols,
  DhtInvalid,
  MultipleSofs,
  InvalidPrecision,
  InvalidDimensions,
  CmykNotSupported,
  ComponentCountPrefix,
  ComponentCountSuffix,
  InvalidComponentId,
  DuplicateComponentId,
  SamplingNotSupported,
  SofInvalid,
  SosBeforeSof,
  ScanWithoutComponents,
  InvalidColorComponentId,
  InvalidHuffmanDcTableId,
  InvalidHuffmanAcTableId,
  InvalidSpectralSelection,
  InvalidSuccessiveApproximation,
  SpectralStartAfterEnd,
  SpectralEndAbove63,
  SpectralDcAndAc,
  SpectralAcMultipleComponents,
  UninitializedQuantTable,
  UninitializedDcTable,
  UninitializedAcTable,
  SosInvalid,
  // Entropy-coded data.
  InvalidMarker,
  InvalidDcValue,
  DcLengthAbove11,
  InvalidAcValue,
  ZeroRunExceeded,
  AcLengthAbove10,
  Count
};

struct MessageText {
  Message id;
  std::string_view text;
};

inline constexpr std::array<MessageText, static_cast<std::size_t>(Message::Count)> message_table = {{
    // Progress lines.
    {Message::ReadingSof, "Reading SOF Marker\n"},
    {Message::ReadingDht, "Reading DHT Marker\n"},
    {Message::ReadingDqt, "Reading DQT Marker\n"},
    {Message::ReadingDri, "Reading DRI Marker\n"},
    {Message::ReadingAppn, "Reading APPN Marker\n"},
    {Message::ReadingCom, "Reading COM Marker\n"},
    {Message::ReadingSos, "Reading SOS Marker\n"},
    // Driver.
    {Message::MemoryError, "Error - Memory error\n"},
    // Marker loop.
    {Message::SoiInvalid, "Error - SOI invalid\n"},
    {Message::FileEndedPrematurely, "Error - File ended prematurely\n"},
    {Message::ExpectedMarker, "Error - Expected a marker\n"},
    {Message::EmbeddedJpeg, "Error - Embedded JPGs not supported\n"},
    {Message::EoiBeforeSos, "Error - EOI detected before SOS\n"},
    {Message::ArithmeticCoding, "Error - Arithmetic Coding mode not supported\n"},
    {Message::SofNotSupported, "Error - SOF marker not supported: 0x"},
    {Message::RstBeforeSos, "Error - RSTN detected before SOS\n"},
    {Message::UnknownMarker, "Error - Unknown marker: 0x"},
    // Segments.
    {Message::DriInvalid, "Error - DRI invalid\n"},
    {Message::AppnInvalid, "Error - APPN invalid\n"},
    {Message::ComInvalid, "Error - COM invalid\n"},
    {Message::InvalidQuantTableId, "Error - Invalid quantization table ID: "},
    {Message::DqtInvalid, "Error - DQT invalid\n"},
    {Message::InvalidHuffmanTableId, "Error - Invalid Huffman table ID: "},
    {Message::TooManyHuffmanSymbols, "Error - Too many symbols in Huffman table: "},
    {Message::DhtInvalid, "Error - DHT invalid\n"},
    {Message::MultipleSofs, "Error - Multiple SOFs detected\n"},
    {Message::InvalidPrecision, "Error - Invalid precision: "},
    {Message::InvalidDimensions, "Error - Invalid dimensions\n"},
    {Message::CmykNotSupported, "Error - CMYK color mode not supported\n"},
    {Message::ComponentCountPrefix, "Error - "},
    {Message::ComponentCountSuffix, " color components given (1 or 3 required)\n"},
    {Message::InvalidComponentId, "Error - Invalid component ID: "},
    {Message::DuplicateComponentId, "Error - Duplicate color component ID: "},
    {Message::SamplingNotSupported, "Error - Sampling factors not supported\n"},
    {Message::SofInvalid, "Error - SOF invalid\n"},
    {Message::SosBeforeSof, "Error - SOS detected before SOF\n"},
    {Message::ScanWithoutComponents, "Error - Scan must include at least 1 component\n"},
    {Message::InvalidColorComponentId, "Error - Invalid color component ID: "},
    {Message::InvalidHuffmanDcTableId, "Error - Invalid Huffman DC table ID: "},
    {Message::InvalidHuffmanAcTableId, "Error - Invalid Huffman AC table ID: "},
    {Message::InvalidSpectralSelection, "Error - Invalid spectral selection\n"},
    {Message::InvalidSuccessiveApproximation, "Error - Invalid successive approximation\n"},
    {Message::SpectralStartAfterEnd, "Error - Invalid spectral selection (start greater than end)\n"},
    {Message::SpectralEndAbove63, "Error - Invalid spectral selection (end greater than 63)\n"},
    {Message::SpectralDcAndAc, "Error - Invalid spectral selection (contains DC and AC)\n"},
    {Message::SpectralAcMultipleComponents,
     "Error - Invalid spectral selection (AC scan contains multiple components)\n"},
    {Message::UninitializedQuantTable, "Error - Color component using uninitialized quantization table\n"},
    {Message::UninitializedDcTable, "Error - Color component using uninitialized Huffman DC table\n"},
    {Message::UninitializedAcTable, "Error - Color component using uninitialized Huffman AC table\n"},
    {Message::SosInvalid, "Error - SOS invalid\n"},
    // Entropy-coded data.
    {Message::InvalidMarker, "Error - Invalid marker: 0x"},
    {Message::InvalidDcValue, "Error - Invalid DC value\n"},
    {Message::DcLengthAbove11, "Error - DC coefficient length greater than 11\n"},
    {Message::InvalidAcValue, "Error - Invalid AC value\n"},
    {Message::ZeroRunExceeded, "Error - Zero run-length exceeded block component\n"},
    {Message::AcLengthAbove10, "Error - AC coefficient length greater than 10\n"},
}};

constexpr bool message_table_is_complete() {
  for (std::size_t i = 0; i < message_table.size(); ++i) {
    if (message_table[i].id != static_cast<Message>(i) || message_table[i].text.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(message_table_is_complete(), "every message has one text, at the position of its id");

constexpr std::string_view message_text(Message message) {
  return message_table[static_cast<std::size_t>(message)].text;
}

}  // namespace shardcast
