// The generated parts of checked-in files: each lies between a line that
// holds "begin generated: NAME" and one that holds "end generated: NAME"
// (a comment in the file's own form), and only the lines between them are
// replaced. A part without a name is the whole file.
#include <string>

#include "describe/descriptions.h"

namespace shardcast::describe {
namespace {

// The offset just after the line holding `marker` from `from` on, or npos.
std::size_t after_line_with(const std::string& text, const std::string& marker, std::size_t from) {
  const std::size_t found = text.find(marker, from);
  if (found == std::string::npos) {
    return std::string::npos;
  }
  const std::size_t end = text.find('\n', found);
  return end == std::string::npos ? text.size() : end + 1;
}

// The offset of the start of the line holding `marker` from `from` on, or
// npos.
std::size_t line_with(const std::string& text, const std::string& marker, std::size_t from) {
  const std::size_t found = text.find(marker, from);
  if (found == std::string::npos) {
    return std::string::npos;
  }
  const std::size_t start = text.rfind('\n', found);
  return start == std::string::npos ? 0 : start + 1;
}

}  // namespace

bool replace_part(std::string& text, const GeneratedPart& part) {
  const std::string name = part.name;
  if (name.empty()) {
    text = part.text();
    return true;
  }
  const std::size_t begin = after_line_with(text, "begin generated: " + name, 0);
  const std::size_t end = begin == std::string::npos ? begin : line_with(text, "end generated: " + name, begin);
  if (end == std::string::npos) {
    return false;
  }
  text.replace(begin, end - begin, part.text());
  return true;
}

std::string refreshed(std::string_view path, const std::string& text) {
  std::string result = text;
  for (const GeneratedPart& part : checked_in_parts) {
    if (path == part.path && !replace_part(result, part)) {
      return {};
    }
  }
  return result;
}

}  // namespace shardcast::describe
