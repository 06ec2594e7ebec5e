// Header parsing up to the scan: the start-of-image check and the marker
// loop up to the start-of-scan code, with the segments it handles itself
// (restart interval, skipped application and comment segments). The frame
// header and the table segments have their own files; the scan header is
// parsed by scan_header.cpp once the driver has the coefficient storage.
//
// Tolerates fill bytes before any marker code, segments in any order, tables
// that are redefined, and progressive frame headers (their scans are checked,
// their blocks are never decoded). Refuses everything else that is not
// a plain 8-bit baseline stream with one or three components: the first
// failed check writes one "Error - " line, clears `valid` and ends parsing.
// Every read checks the end of the stream first, so a truncated or lying
// header ends with "File ended prematurely" and never reads past `size`.
#include "decoder/markers.h"

#include <array>
#include <cstdint>

#include "decoder/header_reader.h"

namespace shardcast {
namespace {

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

}  // namespace shardcast
