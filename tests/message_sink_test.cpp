// The decoder's line output: number formatting and buffering.
#include "decoder/message_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace shardcast {
namespace {

struct Capture {
  std::string text;
  std::vector<std::size_t> pieces;  // size of every write the sink received
};

void capture(void* context, const char* text, std::size_t length) {
  auto* into = static_cast<Capture*>(context);
  into->text.append(text, length);
  into->pieces.push_back(length);
}

MessageSink sink_for(Capture& into) { return {&capture, &into}; }

TEST(MessageWriter, NumbersAreDecimalUnlessTheTextEndsInHexPrefix) {
  Capture out;
  {
    MessageWriter writer(sink_for(out));
    writer.line(Message::TooManyHuffmanSymbols, 177);
    writer.line(Message::UnknownMarker, 0x02);
    writer.line(Message::SofNotSupported, 0xC1);
    writer.line(Message::InvalidPrecision, 0);
    writer.line(Message::InvalidMarker, 0xFFFFFFFFu);
    writer.line(Message::InvalidComponentId, 4294967295u);
  }
  EXPECT_EQ(out.text,
            "Error - Too many symbols in Huffman table: 177\n"
            "Error - Unknown marker: 0x2\n"
            "Error - SOF marker not supported: 0xc1\n"
            "Error - Invalid precision: 0\n"
            "Error - Invalid marker: 0xffffffff\n"
            "Error - Invalid component ID: 4294967295\n");
}

TEST(MessageWriter, PlainLinesAndTheComponentCountLine) {
  Capture out;
  {
    MessageWriter writer(sink_for(out));
    writer.line(Message::ReadingSof);
    writer.component_count_line(2);
  }
  EXPECT_EQ(out.text, "Reading SOF Marker\nError - 2 color components given (1 or 3 required)\n");
}

TEST(MessageWriter, HoldsLinesUntilFlushedOrDestroyed) {
  Capture out;
  MessageWriter writer(sink_for(out));
  writer.line(Message::ReadingDqt);
  EXPECT_TRUE(out.text.empty());
  writer.flush();
  EXPECT_EQ(out.text, "Reading DQT Marker\n");
  writer.flush();
  EXPECT_EQ(out.pieces.size(), 1u) << "an empty buffer is not written";
}

TEST(MessageWriter, ManyLinesArriveCompleteAndInOrderInLargePieces) {
  Capture out;
  std::string expected;
  {
    MessageWriter writer(sink_for(out));
    for (std::uint32_t i = 0; i < 2000; ++i) {
      writer.line(Message::InvalidColorComponentId, i);
      expected += "Error - Invalid color component ID: " + std::to_string(i) + "\n";
    }
  }
  EXPECT_EQ(out.text, expected);
  ASSERT_GT(expected.size(), 8192u * 4);
  EXPECT_LE(out.pieces.size(), expected.size() / 8192 + 1);
  for (std::size_t piece : out.pieces) {
    EXPECT_LE(piece, 8192u);
  }
}

TEST(MessageWriter, DiscardSinkSwallowsEverything) {
  MessageWriter writer(MessageSink::discard());
  for (int i = 0; i < 5000; ++i) {
    writer.line(Message::InvalidAcValue);
  }
  writer.flush();
  SUCCEED();
}

}  // namespace
}  // namespace shardcast
