// Help text wrapped at 80 columns. An option's name and value stand in a
// left column; its text fills the right one, continuing under itself, and
// starts on the next line when the name is too long to leave a gap.
#include "cli/command_line/help_format.h"

#include <vector>

namespace shardcast::cli {
namespace {

// The words of a text; a bracketed part ("[0 .. 100, default 5]") is one.
std::vector<std::string> words_of(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  int depth = 0;
  for (const char c : text) {
    depth += c == '[' ? 1 : c == ']' && depth > 0 ? -1 : 0;
    if ((c == ' ' || c == '\n') && depth == 0) {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) {
    words.push_back(word);
  }
  return words;
}

}  // namespace

std::string wrap_text(const std::string& text, std::size_t first_width, std::size_t indent, std::size_t width) {
  std::string wrapped;
  std::size_t room = first_width;
  std::size_t used = 0;
  for (const std::string& word : words_of(text)) {
    if (used > 0 && used + 1 + word.size() > room) {
      wrapped += "\n" + std::string(indent, ' ');
      room = width - indent;
      used = 0;
    }
    if (used > 0) {
      wrapped += ' ';
      ++used;
    }
    wrapped += word;
    used += word.size();
  }
  return wrapped;
}

namespace {

// A name in the left column and its text wrapped in the right one, at
// least two spaces apart.
std::string two_columns(const std::string& name, const std::string& text, std::size_t column) {
  if (text.empty()) {
    return name + "\n";
  }
  const std::string line = name.size() + 2 <= column ? name + std::string(column - name.size(), ' ')
                                                     : name + "\n" + std::string(column, ' ');
  return line + wrap_text(text, help_width - column, column, help_width) + "\n";
}

}  // namespace

std::string WrappedHelp::make_option(const CLI::Option* option, bool is_positional) const {
  return two_columns("  " + make_option_name(option, is_positional) + make_option_opts(option),
                     make_option_desc(option), get_column_width());
}

std::string WrappedHelp::make_subcommand(const CLI::App* command) const {
  return two_columns("  " + command->get_display_name(), command->get_description(), get_column_width());
}

std::string WrappedHelp::make_description(const CLI::App* app) const {
  const std::string description = app->get_description();
  return description.empty() ? std::string() : wrap_text(description, help_width, 0, help_width) + "\n";
}

}  // namespace shardcast::cli
