// The parser's errors reworded (parse_errors.h). CLI11 names the failing
// option or argument before a colon and lists unexpected words last first;
// the sentences here are built from those parts and from the command line
// itself, never from the rest of CLI11's wording.
#include "cli/command_line/parse_errors.h"

#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

namespace shardcast::cli {
namespace {

constexpr const char* command_names[] = {"render", "decode", "params", "studio"};

std::string no_such_command(const char* word) {
  return std::string("there is no command \"") + word +
         "\"; the commands are render, decode, params and studio (see shardcast --help)";
}

// A missing command, output, stream or other required option.
std::string reworded_missing(const std::string& text, const CLI::App& app, int argc, char** argv) {
  if (text.starts_with("A subcommand")) {
    for (int i = 1; i < argc; ++i) {
      if (argv[i][0] != '-') {
        return no_such_command(argv[i]);
      }
    }
    return "give a command: render, decode, params or studio (see shardcast --help)";
  }
  if (text.starts_with("--output")) {
    return "an output is needed: -o FILE (see shardcast " +
           std::string(app.get_subcommands().empty() ? "render" : app.get_subcommands().front()->get_name()) +
           " --help)";
  }
  if (text.starts_with("stream")) {
    return "decode needs a JPEG file to read";
  }
  return text.substr(0, text.find(':')) + " must be given";
}

// Words the parser did not expect, pointing to the help of the command
// they came with.
std::string reworded_extras(const std::string& text, int argc, char** argv) {
  // The parser lists what it did not expect last first.
  const std::size_t colon = text.find(": ");
  std::vector<std::string> words;
  std::istringstream listed(colon == std::string::npos ? text : text.substr(colon + 2));
  for (std::string word; listed >> word;) {
    words.insert(words.begin(), word);
  }
  std::string extras;
  for (const std::string& word : words) {
    extras += (extras.empty() ? "" : " ") + word;
  }
  const std::string what =
      words.size() == 1 && extras.starts_with("-") ? "there is no option " + extras : "unexpected " + extras;
  for (int i = 1; i < argc; ++i) {
    for (const char* command : command_names) {
      if (std::strcmp(argv[i], command) == 0) {
        return what + " (see shardcast " + command + " --help)";
      }
    }
    if (argv[i][0] != '-') {
      return no_such_command(argv[i]);
    }
  }
  return what + " (see shardcast --help)";
}

}  // namespace

std::string reworded(const CLI::ParseError& error, const CLI::App& app, int argc, char** argv) {
  const std::string text = error.what();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    return reworded_missing(text, app, argc, argv);
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    const std::string name = text.substr(0, text.find(':'));
    if (text.find("At Most") != std::string::npos) {
      return name + " was given more than once; give it once";
    }
    return name + " needs a value";
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    return reworded_extras(text, argc, argv);
  }
  std::string sentence = text;
  if (!sentence.empty()) {
    sentence[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(sentence[0])));
  }
  return sentence;
}

std::string refuse_empty_values(const CLI::App& command) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_type_size() == 0 || option->count() == 0) {
      continue;
    }
    for (const std::string& value : option->results()) {
      if (!value.empty()) {
        continue;
      }
      if (option->get_lnames().empty() && option->get_snames().empty()) {
        return "the " + option->get_name(true) + " name is empty; name a file";
      }
      return option->get_name() + " was given an empty value; give it one";
    }
  }
  return {};
}

}  // namespace shardcast::cli
