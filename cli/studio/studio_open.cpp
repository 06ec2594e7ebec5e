// Setting the studio up before it serves: the module, the input, the
// settings it starts from, its page and where whole renders go. Each
// refusal is the tool's one line, as the render command's would be.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "cli/commands/commands.h"
#include "cli/parameters/settings_file.h"
#include "cli/studio/studio_api.h"
#include "cli/system/data_folders.h"
#include "cli/system/platform.h"

namespace shardcast::cli {
namespace {

struct PagePart {
  const char* path;
  const char* file;
  const char* type;
};

constexpr PagePart page_parts[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/controls.js", "controls.js", "text/javascript; charset=utf-8"},
    {"/studio.js", "studio.js", "text/javascript; charset=utf-8"},
    {"/studio.css", "studio.css", "text/css; charset=utf-8"},
};

// The page's files, read once: no request ever opens a file. The page
// asks for its script and style sheet with the token, which goes into it
// here.
std::string read_page(std::map<std::string, PageFile>& page, const std::string& token) {
  std::string looked_at;
  const std::filesystem::path folder = find_data_folder("studio-page", looked_at);
  if (folder.empty()) {
    return "the studio's page is not installed: looked at " + looked_at;
  }
  for (const PagePart& part : page_parts) {
    std::ifstream file(folder / part.file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
      return "cannot read the studio's page " + (folder / part.file).string();
    }
    for (std::size_t at = content.find("__SHARDCAST_TOKEN__"); at != std::string::npos;
         at = content.find("__SHARDCAST_TOKEN__", at)) {
      content.replace(at, 19, token);
    }
    page[part.path] = PageFile{std::move(content), part.type};
  }
  return {};
}

std::string open_output_folder(StudioState& state) {
  std::error_code error;
  const std::filesystem::path given = state.request.output_folder.empty()
                                          ? std::filesystem::current_path(error)
                                          : std::filesystem::path(state.request.output_folder);
  state.output_folder = std::filesystem::absolute(given, error);
  if (error || !std::filesystem::is_directory(state.output_folder, error)) {
    return "--output-folder " + given.string() + ": no such folder";
  }
  return {};
}

}  // namespace

std::string open_studio(StudioState& state, const std::string& token, int& exit_code) {
  exit_code = exit_internal_failure;
  if (std::string failure = state.module.find_and_open(state.request.module_path); !failure.empty()) {
    return failure;
  }
  if (std::string failure = read_page(state.page, token); !failure.empty()) {
    return failure;
  }
  state.program = executable_path().string();
  if (state.program.empty()) {
    return "the studio cannot tell where this program is, to render whole clips with it";
  }
  exit_code = exit_bad_input;
  if (std::string refusal = open_output_folder(state); !refusal.empty()) {
    return refusal;
  }
  if (!state.request.settings.empty()) {
    Settings settings;
    if (std::string refusal = read_settings(state.request.settings, settings); !refusal.empty()) {
      return refusal;
    }
    add_settings(settings, state.start);
    AnimatedValues checked;
    if (std::string refusal = resolve_tracks(state.module.parameters(), state.start, checked); !refusal.empty()) {
      return refusal;
    }
  }
  return state.input.open(state.request);
}

}  // namespace shardcast::cli
