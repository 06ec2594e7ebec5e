// The checks that finish each command's request once the parser is done:
// every option's text is read and checked here, so each refusal is one
// of the tool's own sentences (all of them exit 2). A check stops at the
// first refusal, in the order the options' values are read.
#pragma once

#include <string>

#include "cli/command_line/command_definitions.h"

namespace shardcast::cli {

// Each returns empty when the request is complete, otherwise the refusal.
std::string finish_render_command(RenderCommand& render);
std::string finish_decode_command(DecodeCommand& decode);
std::string finish_studio_command(StudioCommand& studio);
// The values to save (those given, over those of --settings); values are
// refused without --save, which is the only thing they are for.
std::string finish_params_command(const ParamsCommand& params, ParameterValues& values);

}  // namespace shardcast::cli
