// The tool's --help at 80 columns: each option's text wrapped beside its
// name, a bracketed range never split, so that the help reads on any
// terminal and the man page, made from it, fits one too.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace shardcast::cli {

inline constexpr std::size_t help_width = 80;

class WrappedHelp : public CLI::Formatter {
 public:
  std::string make_option(const CLI::Option* option, bool is_positional) const override;
  std::string make_subcommand(const CLI::App* command) const override;
  std::string make_description(const CLI::App* app) const override;
};

// `text` in lines of at most `width` columns, every line after the first
// indented by `indent` spaces (the first is the caller's to place).
std::string wrap_text(const std::string& text, std::size_t first_width, std::size_t indent, std::size_t width);

}  // namespace shardcast::cli
