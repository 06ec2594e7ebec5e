// The option parser's own errors in the tool's words. CLI11 refuses only
// what its definitions say (an unknown option or command, a missing or
// repeated one, a missing value); each refusal becomes one sentence that
// points to the help of the command it came with. An option given an
// empty value is refused here too, like any other bad value.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace shardcast::cli {

// The parser's error as the tool's sentence.
std::string reworded(const CLI::ParseError& error, const CLI::App& app, int argc, char** argv);

// An empty value ("--jobs ''") is no value: the refusal of the first one
// given to the command, or empty.
std::string refuse_empty_values(const CLI::App& command);

}  // namespace shardcast::cli
