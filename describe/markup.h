// Text set into the syntax of the files the descriptions go into, so that a
// name or description holding a character that syntax gives a meaning
// (&, <, |, a quote, a leading dot) still reads as written.
#pragma once

#include <string>
#include <string_view>

namespace shardcast::describe {

// Element text and attribute values: & < > " as entities.
std::string xml_text(std::string_view text);
// One line of a man page: \ as \e, - as \- (no hyphen breaks an option),
// and \& before a leading dot or apostrophe, which would start a request.
std::string roff_line(std::string_view text);
// A Markdown table cell: | as \|.
std::string markdown_cell(std::string_view text);
// A single-quoted JavaScript string: ' and \ behind a backslash.
std::string js_string(std::string_view text);
// A double-quoted YAML scalar: " and \ behind a backslash.
std::string yaml_string(std::string_view text);

}  // namespace shardcast::describe
