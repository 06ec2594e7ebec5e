// shardcast: the effect outside a compositing host. `render` drives the
// built effect module through the simulated host, `decode` runs the tolerant
// decoder alone on a JPEG file, `params` lists the module's parameters (or
// saves values as a settings file), `studio` serves a page that renders
// while the parameters are turned.
//
// This file only turns the command line into requests (command_line/) and
// runs the command given. Every refusal there is one of the tool's own
// lines and exits 2.
//
// --help lists each effect parameter with its range and default as the
// module registers them, so the module is loaded for it when it can be.
#include <CLI/CLI.hpp>

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cli/command_line/command_definitions.h"
#include "cli/command_line/help_format.h"
#include "cli/command_line/parse_errors.h"
#include "cli/command_line/request_checks.h"
#include "cli/effect/module_session.h"
#include "cli/system/process_memory.h"

namespace shardcast::cli {
namespace {

// What --module says, if given; for --help, before the parser has run.
std::string module_option(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--module" && i + 1 < argc) {
      return argv[i + 1];
    }
    if (word.starts_with("--module=")) {
      return word.substr(9);
    }
  }
  return {};
}

bool asks_for_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      return true;
    }
  }
  return false;
}

// The command line parsed: nothing to go on, or the exit code of what was
// done or refused instead (--help, --version, a parse error, an empty
// value).
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    // --help and --version: a text that did not arrive is no success.
    if (app.exit(success) != 0) {
      return exit_bad_input;
    }
    if (std::string failure = flush_standard_output(); !failure.empty()) {
      report("cannot write standard output: " + failure);
      return exit_bad_input;
    }
    return exit_success;
  } catch (const CLI::ParseError& error) {
    report(reworded(error, app, argc, argv));
    return exit_bad_input;
  }
  for (const CLI::App* command : app.get_subcommands()) {
    if (std::string refusal = refuse_empty_values(*command); !refusal.empty()) {
      report(refusal);
      return exit_bad_input;
    }
  }
  return std::nullopt;
}

// The command given, its request finished; a refusal exits 2.
int run_command(RenderCommand& render, DecodeCommand& decode, const ParamsCommand& params, StudioCommand& studio) {
  ParameterValues values;
  std::string refusal = *params.app   ? finish_params_command(params, values)
                        : *studio.app ? finish_studio_command(studio)
                        : *decode.app ? finish_decode_command(decode)
                                      : finish_render_command(render);
  if (!refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  if (*params.app) {
    return params.save.empty() ? run_params(params.module) : run_save_settings(params.save, values, params.module);
  }
  if (*studio.app) {
    return run_studio(studio.request);
  }
  return *decode.app ? run_decode(decode.request) : run_render(render.request);
}

int run(int argc, char** argv) {
  // The ranges and defaults in --help come from the module itself.
  ModuleSession help_module;
  if (asks_for_help(argc, argv)) {
    help_module.find_and_open(module_option(argc, argv));
  }
  const std::vector<ParameterInfo>& registered = help_module.parameters();

  CLI::App app{"shardcast: renders pictures and clips through the Shardcast damaged-JPEG effect", "shardcast"};
  app.formatter(std::make_shared<WrappedHelp>());
  app.set_version_flag("--version", std::string("shardcast ") + SHARDCAST_VERSION);
  app.require_subcommand(1);
  RenderCommand render;
  add_render_command(app, render, registered);
  DecodeCommand decode;
  add_decode_command(app, decode, registered);
  ParamsCommand params;
  add_params_command(app, params, registered);
  StudioCommand studio;
  add_studio_command(app, studio);

  if (const std::optional<int> done = parse(app, argc, argv); done.has_value()) {
    return *done;
  }
  return run_command(render, decode, params, studio);
}

}  // namespace

}  // namespace shardcast::cli

int main(int argc, char** argv) {
  shardcast::cli::reuse_freed_memory();
  // Within the default limits every picture fits in memory; a raised
  // --max-pixels may ask for more than there is.
  try {
    return shardcast::cli::run(argc, argv);
  } catch (const std::bad_alloc&) {
    shardcast::cli::report("out of memory: the picture is too large for the memory available");
    return shardcast::cli::exit_bad_input;
  }
}
