// Markup of the description files' texts, one character at a time.
#include "describe/markup.h"

namespace shardcast::describe {

std::string xml_text(std::string_view text) {
  std::string marked;
  for (const char c : text) {
    switch (c) {
      case '&':
        marked += "&amp;";
        break;
      case '<':
        marked += "&lt;";
        break;
      case '>':
        marked += "&gt;";
        break;
      case '"':
        marked += "&quot;";
        break;
      default:
        marked += c;
    }
  }
  return marked;
}

std::string roff_line(std::string_view text) {
  std::string marked;
  for (const char c : text) {
    if (c == '\\') {
      marked += "\\e";
    } else if (c == '-') {
      marked += "\\-";
    } else {
      marked += c;
    }
  }
  if (!marked.empty() && (marked.front() == '.' || marked.front() == '\'')) {
    marked.insert(0, "\\&");
  }
  return marked;
}

std::string markdown_cell(std::string_view text) {
  std::string marked;
  for (const char c : text) {
    if (c == '|') {
      marked += '\\';
    }
    marked += c;
  }
  return marked;
}

std::string js_string(std::string_view text) {
  std::string marked = "'";
  for (const char c : text) {
    if (c == '\'' || c == '\\') {
      marked += '\\';
    }
    marked += c;
  }
  return marked + "'";
}

std::string yaml_string(std::string_view text) {
  std::string marked = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      marked += '\\';
    }
    marked += c;
  }
  return marked + "\"";
}

}  // namespace shardcast::describe
