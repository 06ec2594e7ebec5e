// The decoder's texts: every progress line and every error line, in one
// table. A message that ends in a number is followed by the number and a
// newline when written (see message_sink.h); every other text carries its
// own newline.
#pragma once

#include <array>
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
  SofNotSupported,  // + hex code
  RstBeforeSos,
  UnknownMarker,  // + hex code
  // Segments.
  DriInvalid,
  AppnInvalid,
  ComInvalid,
  InvalidQuantTableId,  // + id
  DqtInvalid,
  InvalidHuffmanTableId,  // + id
  TooManyHuffmanSymbols,  // + total
  DhtInvalid,
  MultipleSofs,
  InvalidPrecision,  // + precision
  InvalidDimensions,
  CmykNotSupported,
  ComponentCountPrefix,  // "Error - " + count + ComponentCountSuffix
  ComponentCountSuffix,
  InvalidComponentId,  // + n
  DuplicateComponentId,  // + n
  SamplingNotSupported,
  SofInvalid,
  SosBeforeSof,
  ScanWithoutComponents,
  InvalidColorComponentId,  // + n
  InvalidHuffmanDcTableId,  // + id
  InvalidHuffmanAcTableId,  // + id
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
  InvalidMarker,  // + hex code
  InvalidDcValue,
  DcLengthAbove11,
  InvalidAcValue,
  ZeroRunExceeded,
  AcLengthAbove10,
  Count
};

inline constexpr std::array<std::string_view, static_cast<std::size_t>(Message::Count)> message_texts = {
    "Reading SOF Marker\n",
    "Reading DHT Marker\n",
    "Reading DQT Marker\n",
    "Reading DRI Marker\n",
    "Reading APPN Marker\n",
    "Reading COM Marker\n",
    "Reading SOS Marker\n",
    "Error - Memory error\n",
    "Error - SOI invalid\n",
    "Error - File ended prematurely\n",
    "Error - Expected a marker\n",
    "Error - Embedded JPGs not supported\n",
    "Error - EOI detected before SOS\n",
    "Error - Arithmetic Coding mode not supported\n",
    "Error - SOF marker not supported: 0x",
    "Error - RSTN detected before SOS\n",
    "Error - Unknown marker: 0x",
    "Error - DRI invalid\n",
    "Error - APPN invalid\n",
    "Error - COM invalid\n",
    "Error - Invalid quantization table ID: ",
    "Error - DQT invalid\n",
    "Error - Invalid Huffman table ID: ",
    "Error - Too many symbols in Huffman table: ",
    "Error - DHT invalid\n",
    "Error - Multiple SOFs detected\n",
    "Error - Invalid precision: ",
    "Error - Invalid dimensions\n",
    "Error - CMYK color mode not supported\n",
    "Error - ",
    " color components given (1 or 3 required)\n",
    "Error - Invalid component ID: ",
    "Error - Duplicate color component ID: ",
    "Error - Sampling factors not supported\n",
    "Error - SOF invalid\n",
    "Error - SOS detected before SOF\n",
    "Error - Scan must include at least 1 component\n",
    "Error - Invalid color component ID: ",
    "Error - Invalid Huffman DC table ID: ",
    "Error - Invalid Huffman AC table ID: ",
    "Error - Invalid spectral selection\n",
    "Error - Invalid successive approximation\n",
    "Error - Invalid spectral selection (start greater than end)\n",
    "Error - Invalid spectral selection (end greater than 63)\n",
    "Error - Invalid spectral selection (contains DC and AC)\n",
    "Error - Invalid spectral selection (AC scan contains multiple components)\n",
    "Error - Color component using uninitialized quantization table\n",
    "Error - Color component using uninitialized Huffman DC table\n",
    "Error - Color component using uninitialized Huffman AC table\n",
    "Error - SOS invalid\n",
    "Error - Invalid marker: 0x",
    "Error - Invalid DC value\n",
    "Error - DC coefficient length greater than 11\n",
    "Error - Invalid AC value\n",
    "Error - Zero run-length exceeded block component\n",
    "Error - AC coefficient length greater than 10\n",
};

constexpr std::string_view message_text(Message message) {
  return message_texts[static_cast<std::size_t>(message)];
}

}  // namespace shardcast
