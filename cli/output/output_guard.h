// An input is never an output. Before any frame is rendered, every file a
// command will write (the picture, each frame of an output sequence, the
// video, the decoder lines' file, standard output when it is a file) is
// compared with every file it reads (the picture, each frame of an input
// sequence, the clip, standard input when it is a file, decode's stream) by
// identity: device and inode after following links, so a hard link or a
// symbolic link to an input is that input. A match is refused, naming both.
//
// Existing outputs that are no input are replaced, as scripts expect;
// -n/--no-overwrite refuses them up front instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/frames/frame_sink.h"
#include "cli/frames/frame_source.h"
#include "cli/system/platform.h"

namespace shardcast::cli {

class OutputGuard {
 public:
  explicit OutputGuard(bool no_overwrite) : no_overwrite_(no_overwrite) {}

  void add_input(const std::string& name, std::optional<FileIdentity> identity);
  void add_input_file(const std::string& name) { add_input(name, file_identity(name)); }
  // Empty when the file may be written, otherwise the refusal.
  std::string check_output_file(const std::string& name) const;
  // The same for standard output, which is never refused for existing.
  std::string check_standard_output() const;

 private:
  struct Input {
    std::string name;
    FileIdentity identity;
  };
  std::string check(const std::string& name, std::optional<FileIdentity> identity) const;

  bool no_overwrite_;
  std::vector<Input> inputs_;
};

// Every output of a render against every input. Empty when all may be
// written, otherwise the refusal.
std::string check_render_outputs(const RenderRequest& request, const FrameSource& source, const FrameSink& sink);

// decode's picture and lines against its stream.
std::string check_decode_outputs(const DecodeRequest& request);

}  // namespace shardcast::cli
