// The parameters in words (describe/): numbers as the table holds them, the
// frei0r mapping the filter explains itself with, the names of a flat list,
// the generated parts of checked-in files, and those files themselves, which
// must be what the parameter table makes of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

ParamRow slider(float minimum, float maximum, float dephault, std::int16_t decimals = 0) {
  return {.kind = ParamKind::Slider,
          .minimum = minimum,
          .maximum = maximum,
          .dephault = dephault,
          .decimals = decimals,
          .description = "what it does"};
}

TEST(NumberText, IsTheShortestDecimalOfTheSinglePrecisionNumber) {
  struct Case {
    float value;
    const char* text;
  };
  for (const Case c : {Case{99.9f, "99.9"}, Case{0.1f, "0.1"}, Case{100000000.0f, "100000000"}, Case{-0.1f, "-0.1"},
                       Case{0.0f, "0"}, Case{-10.0f, "-10"}, Case{0.000125f, "0.000125"}}) {
    EXPECT_EQ(number_text(c.value), c.text);
    EXPECT_EQ(decimal_text(decimal(c.value)), c.text);
  }
}

// Spans and defaults come out in the decimals of the bounds, not of their
// binary values (100 - 0.1f is not 99.9 in binary); a default that no short
// decimal reaches exactly is a reduced fraction.
TEST(Frei0rTexts, MappingAndDefaultAreExactDecimals) {
  struct Case {
    ParamRow row;
    const char* mapping;
    const char* default_x;
  };
  for (const Case& c :
       {Case{slider(0.1f, 100, 100, 2), "0.1 + 99.9x", "1"}, Case{slider(1, 100000000, 1), "1 + 99999999x", "0"},
        Case{slider(0, 10000, 0), "10000x", "0"}, Case{slider(1, 64, 5), "1 + 63x", "4/63"},
        Case{slider(-10, 10, 1, 2), "-10 + 20x", "0.55"}, Case{slider(-10, 10, -0.1f, 2), "-10 + 20x", "0.495"},
        Case{slider(0, 6, 2), "6x", "1/3"}, Case{slider(0, 8, 1), "8x", "0.125"},
        Case{slider(-0.5f, 0.5f, 0.25f, 2), "-0.5 + 1x", "0.75"}}) {
    SCOPED_TRACE(c.mapping);
    EXPECT_EQ(frei0r_mapping(c.row), c.mapping);
    EXPECT_EQ(frei0r_default_x(c.row), c.default_x);
  }
}

TEST(Frei0rTexts, ExplanationGivesRangeStepsAndTheDefaultAsValueAndNumber) {
  EXPECT_EQ(frei0r_explanation(slider(1, 64, 5)), "what it does; 1 to 64 (1 + 63x, whole numbers); default 4/63 = 5");
  EXPECT_EQ(frei0r_explanation(slider(0, 99.9f, 0, 2)), "what it does; 0 to 99.9 (99.9x, hundredths); default 0");
  ParamRow box{.kind = ParamKind::Checkbox, .dephault = 1.0f, .description = "what it does"};
  EXPECT_EQ(frei0r_explanation(box), "what it does; default on");
  EXPECT_EQ(steps_text(1), "tenths");
  EXPECT_EQ(steps_text(4), "steps of 0.0001");
}

TEST(ListedName, NamesTheEffectRepeatsCarryTheirGroupsWord) {
  EXPECT_EQ(listed_name(param_row(PARAM_SEED)), "seed (Broken bytes)");
  EXPECT_EQ(listed_name(param_row(PARAM_QTC_SEED)), "seed (Chroma)");
  EXPECT_EQ(listed_name(param_row(PARAM_QTL_MAX_RANDOM)), "max random value (Luma)");
  EXPECT_EQ(listed_name(param_row(PARAM_BROKEN_BYTES)), "Broken bytes");  // a group's name is no parameter's
  EXPECT_EQ(listed_name(param_row(PARAM_QTC_POSITION)), "QTC position");
}

// A list steps by the finest power of ten, down to the slider's decimals,
// that needs at most 200 steps; it starts at the minimum, holds the default
// even off its steps, and ends at the maximum or after 1000 entries.
TEST(KdenliveLists, StepByTheFinestPowerOfTenThatNeedsAtMost200Steps) {
  struct Case {
    ParamRow row;
    std::size_t entries;
    const char* start;
    const char* end;
  };
  for (const Case& c :
       {Case{slider(0.1f, 100, 100, 2), 101, "0.1,1,2,", ",99,100"},
        Case{slider(-10, 10, -0.1f, 2), 201, "-10,-9.9,-9.8,", ",9.9,10"},
        Case{slider(1, 100000000, 1), 1000, "1,2,3,", ",999,1000"}, Case{slider(1, 64, 5), 64, "1,2,3,", ",63,64"},
        Case{slider(-1, 1, 0.25f, 2), 201, "-1,-0.99,-0.98,", ",0.99,1"},
        Case{slider(-10, 10, 1.05f, 2), 202, "-10,-9.9,", ",9.9,10"}}) {
    const std::vector<Decimal> values = kdenlive_list_values(c.row);
    std::string text;
    for (const Decimal& value : values) {
      text += (text.empty() ? "" : ",") + decimal_text(value);
    }
    SCOPED_TRACE(text.substr(0, 40));
    EXPECT_EQ(values.size(), c.entries);
    EXPECT_EQ(text.rfind(c.start, 0), 0u);
    EXPECT_TRUE(text.ends_with(c.end));
    EXPECT_NE(("," + text + ",").find("," + number_text(c.row.dephault) + ","), std::string::npos);
  }
}

TEST(Markup, CharactersWithAMeaningInTheFileReadAsWritten) {
  struct Case {
    std::string (*mark)(std::string_view);
    const char* text;
    const char* marked;
  };
  for (const Case& c :
       {Case{xml_text, "a < b & \"c\" > d", "a &lt; b &amp; &quot;c&quot; &gt; d"},
        Case{xml_text, "the decoder's repairs", "the decoder's repairs"},
        Case{roff_line, "--qtc-value", "\\-\\-qtc\\-value"}, Case{roff_line, ".5 or 'x' \\ y", "\\&.5 or 'x' \\e y"},
        Case{roff_line, "'quoted' first", "\\&'quoted' first"}, Case{markdown_cell, "on|off", "on\\|off"},
        Case{js_string, "it's a\\b", "'it\\'s a\\\\b'"},
        Case{yaml_string, "a: \"b\" \\ c's", "\"a: \\\"b\\\" \\\\ c's\""}}) {
    EXPECT_EQ(c.mark(c.text), c.marked) << c.text;
  }
}

TEST(GeneratedParts, OnlyTheLinesBetweenItsMarkersAreReplaced) {
  const GeneratedPart part{"file", "list", [] { return std::string("new 1\nnew 2\n"); }};
  const std::string before = "head\n  // begin generated: list (a note)\nold\n  // end generated: list\ntail\n";
  const std::string after = "head\n  // begin generated: list (a note)\nnew 1\nnew 2\n  // end generated: list\ntail\n";
  std::string text = before;
  ASSERT_TRUE(replace_part(text, part));
  EXPECT_EQ(text, after);
  ASSERT_TRUE(replace_part(text, part));
  EXPECT_EQ(text, after);

  for (const std::string& unmarked :
       {std::string("head\n// begin generated: list\nold\n"), std::string("old\n// end generated: list\n"),
        std::string("// end generated: list\n// begin generated: list\n")}) {
    std::string kept = unmarked;
    EXPECT_FALSE(replace_part(kept, part)) << unmarked;
    EXPECT_EQ(kept, unmarked);
  }
}

TEST(CheckedInDescriptions, AreWhatTheParameterTableMakes) {
  std::set<std::string> paths;
  for (const GeneratedPart& part : checked_in_parts) {
    paths.insert(part.path);
  }
  for (const std::string& path : paths) {
    std::ifstream file(std::filesystem::path(SHARDCAST_SOURCE_DIR) / path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::ostringstream text;
    text << file.rdbuf();
    EXPECT_TRUE(refreshed(path, text.str()) == text.str())
        << path << " differs from the parameter table; rewrite it with "
        << "`cmake --build --preset default --target update_parameter_texts`";
  }
}

}  // namespace
}  // namespace shardcast::describe
