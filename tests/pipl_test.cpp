// The generated PiPL resource, checked byte by byte against the layout a
// Windows host reads, and the resource script checked to compile to the same
// bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "host/registration.h"

namespace {

std::vector<std::uint8_t> read_bytes(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string read_text(const char* path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes.at(at)) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(bytes.at(at + 2)) << 16 | static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

std::uint16_t u16_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

std::string text_at(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + length)};
}

// A property starts with "MIB8", the key's bytes reversed, id 0 and the
// length; `stored` bytes of value and padding follow, padding all zero.
void expect_property(const std::vector<std::uint8_t>& bytes, std::size_t at, const char* reversed_key,
                     std::uint32_t length, std::size_t value_size, std::size_t stored) {
  SCOPED_TRACE(reversed_key);
  EXPECT_EQ(text_at(bytes, at, 4), "MIB8");
  EXPECT_EQ(text_at(bytes, at + 4, 4), reversed_key);
  EXPECT_EQ(u32_at(bytes, at + 8), 0u);
  EXPECT_EQ(u32_at(bytes, at + 12), length);
  for (std::size_t i = value_size; i < stored; ++i) {
    EXPECT_EQ(bytes.at(at + 16 + i), 0) << "padding byte " << i;
  }
}

void expect_pascal(const std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& text) {
  EXPECT_EQ(bytes.at(at + 16), text.size());
  EXPECT_EQ(text_at(bytes, at + 17, text.size()), text);
}

class PiplResource : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> bytes = read_bytes(SHARDCAST_PIPL_FILE);
};

TEST_F(PiplResource, StartsWithLeadingWordVersionAndThirteenProperties) {
  ASSERT_GE(bytes.size(), 10u);
  EXPECT_EQ(u16_at(bytes, 0), 1);
  EXPECT_EQ(u32_at(bytes, 2), 0u);
  EXPECT_EQ(u32_at(bytes, 6), 13u);
}

TEST_F(PiplResource, FixedPropertiesSitAtTheirOffsetsWithTheirValues) {
  ASSERT_GE(bytes.size(), 298u);
  expect_property(bytes, 10, "dnik", 4, 4, 4);
  EXPECT_EQ(text_at(bytes, 26, 4), "TKFe");

  expect_property(bytes, 30, "eman", 12, 10, 12);
  expect_pascal(bytes, 30, "Shardcast");

  expect_property(bytes, 58, "gtac", 8, 8, 8);
  expect_pascal(bytes, 58, "Korvane");

  expect_property(bytes, 82, "4668", 12, 11, 12);
  EXPECT_EQ(text_at(bytes, 98, 11), std::string("EffectMain\0", 11));

  expect_property(bytes, 110, "RVPe", 4, 4, 4);
  EXPECT_EQ(u16_at(bytes, 126), 2);
  EXPECT_EQ(u16_at(bytes, 128), 0);

  expect_property(bytes, 130, "RVSe", 4, 4, 4);
  EXPECT_EQ(u16_at(bytes, 146), 13);
  EXPECT_EQ(u16_at(bytes, 148), 29);

  expect_property(bytes, 150, "REVe", 4, 4, 4);
  EXPECT_EQ(u32_at(bytes, 166), 0x00083800u);

  // The info flags count two bytes; the two padding bytes are not counted.
  expect_property(bytes, 170, "FNIe", 2, 2, 4);
  EXPECT_EQ(u16_at(bytes, 186), 0);

  expect_property(bytes, 190, "OLGe", 4, 4, 4);
  EXPECT_EQ(u32_at(bytes, 206), 0u);
  expect_property(bytes, 210, "2LGe", 4, 4, 4);
  EXPECT_EQ(u32_at(bytes, 226), 0u);

  expect_property(bytes, 230, "ANMe", 16, 15, 16);
  expect_pascal(bytes, 230, "ADBE Shardcast");

  expect_property(bytes, 262, "LFea", 4, 4, 4);
  EXPECT_EQ(u32_at(bytes, 278), 0u);
}

TEST_F(PiplResource, SupportUrlIsThePaddedLastProperty) {
  const std::string url = shardcast::registration_data.support_url;
  const std::size_t padded = (url.size() + 1 + 3) / 4 * 4;
  ASSERT_EQ(bytes.size(), 298u + padded);
  expect_property(bytes, 282, "LRUe", static_cast<std::uint32_t>(padded), url.size() + 1, padded);
  expect_pascal(bytes, 282, url);
}

// The script is read back the way a resource compiler reads it: a bare
// number is a WORD, a number with an L suffix a DWORD, both little-endian.
TEST(PiplResourceScript, DeclaresTypeIdAndLanguageAndEncodesTheSameBytes) {
  const std::string script = read_text(SHARDCAST_PIPL_RC);
  EXPECT_NE(script.find("LANGUAGE 9, 1"), std::string::npos);  // 0x0409 = 1033
  const std::size_t header = script.find("16000 PIPL");
  ASSERT_NE(header, std::string::npos);
  const std::size_t begin = script.find("BEGIN", header);
  const std::size_t end = script.find("END", begin);
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(end, std::string::npos);

  std::vector<std::uint8_t> decoded;
  const std::string body = script.substr(begin + 5, end - begin - 5);
  const std::regex item(R"((0x[0-9A-Fa-f]+|[0-9]+)(L?)\s*(,|$))");
  std::size_t items = 0;
  for (auto it = std::sregex_iterator(body.begin(), body.end(), item); it != std::sregex_iterator(); ++it) {
    const std::uint32_t value = static_cast<std::uint32_t>(std::stoul((*it)[1].str(), nullptr, 0));
    const int size = (*it)[2].length() > 0 ? 4 : 2;
    for (int i = 0; i < size; ++i) {
      decoded.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    ++items;
  }
  EXPECT_GT(items, 1u);
  EXPECT_EQ(decoded, read_bytes(SHARDCAST_PIPL_FILE));
}

}  // namespace
