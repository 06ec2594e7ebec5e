// `decode`: the tolerant decoder alone, on a JPEG file from anywhere (one
// damaged by hand, say), showing it the way the effect would.
//
// The work buffer has the size the stream's frame header declares and
// starts opaque black; glitch_rng is seeded from --seed, the table and stage
// options apply as in a render. Refuses files that do not start like a JPEG
// stream and frames beyond the picture limits (judged on the frame header,
// before the buffer exists); a stream cut short is the decoder's to recover
// from, like any other damage. When the decoder gives up
// the untouched black buffer is written all the same and the exit code is 3;
// a stream whose header never declares a frame size leaves nothing to write.
// A kind of JPEG the decoder does not read (progressive, say, whose scans it
// passes over, leaving a flat picture) gets one line saying so.
//
// The stream is never an output (see output_guard.h). The picture and the
// decoder lines' file appear whole or not at all: the lines are written
// under a temporary name and put in place after the picture, and a
// failure at either end leaves nothing new behind.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/effect/module_session.h"
#include "cli/messages/decoder_messages.h"
#include "cli/output/output_guard.h"
#include "cli/output/pending_file.h"
#include "cli/pictures/file_signatures.h"
#include "cli/pictures/image.h"
#include "cli/pictures/jpeg_kind.h"
#include "decoder/decoder.h"
#include "hostsim/simulated_host.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"

namespace shardcast::cli {
namespace {

std::string in_parentheses(const std::string& text) { return text.empty() ? text : " (" + text + ")"; }

// Reads the file and the frame size its header declares (0 x 0 when no
// frame header is reached). exit_success, or the exit code of the refusal,
// which has been reported.
int read_stream(const DecodeRequest& request, std::vector<std::uint8_t>& stream, FrameHeader& header) {
  if (ImageResult read = read_file_bytes(request.input, stream); !read.ok()) {
    report("cannot read " + request.input + ": " + read.error);
    return exit_bad_input;
  }
  if (!begins_with(stream, jpeg_start_of_image)) {
    report("cannot read " + request.input + ": not a JPEG file");
    return exit_bad_input;
  }
  header = read_frame_header(stream.data(), static_cast<std::uint32_t>(stream.size()));
  if (header.width > 0 && header.height > 0) {
    if (std::string refusal = request.limits.check_size("its frame", header.width, header.height); !refusal.empty()) {
      report("cannot read " + request.input + ": " + refusal);
      return exit_bad_input;
    }
  }
  // The decoder's own lines say what went wrong inside; this says why.
  if (const JpegKind kind = read_jpeg_kind(stream); kind.frame_marker != 0 && !kind.decoder_reads()) {
    report_note(unread_kind_line(request.input, kind));
  }
  return exit_success;
}

// The work buffer as a picture file.
int write_picture(const DecodeRequest& request, const hostsim::Picture& work) {
  Image picture;
  picture.width = work.width;
  picture.height = work.height;
  picture.rgba = work.to_rgba();
  if (ImageResult written = write_image(request.output, picture, request.quality.value_or(default_jpeg_quality));
      !written.ok()) {
    report("cannot write " + request.output + ": " + written.error);
    return exit_bad_input;
  }
  return exit_success;
}

// The output's name and kind, and the rule that the stream is no output.
// Empty when they fit, otherwise the refusal.
std::string check_output(const DecodeRequest& request) {
  ImageFormat format{};
  if (check_output_path(request.output) == "it is a folder") {
    return "cannot write " + request.output + ": it is a folder; name a file in it";
  }
  if (!output_format_for(request.output, format)) {
    return "cannot write " + request.output + ": unknown picture format (use .png, .jpg or .jpeg)";
  }
  if (request.quality.has_value() && format != ImageFormat::Jpeg) {
    return "--quality applies to JPEG outputs";
  }
  return check_decode_outputs(request);
}

// The picture, then the lines' file, each in place or neither; the closing
// lines. Returns the exit code.
int finish(const DecodeRequest& request, const hostsim::Picture& work, MessageDestination& messages,
           std::int32_t result) {
  if (const int failed = write_picture(request, work); failed != exit_success) {
    return failed;
  }
  if (std::string failure = messages.commit(); !failure.empty()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(request.output, error)) {
      std::filesystem::remove(output_target(request.output), error);
    }
    report(failure);
    return exit_bad_input;
  }
  report_note("decode: 1 frame, " + std::to_string(messages.lines()) + " decoder lines " + messages.describe());
  if (result < 0) {
    report("the decoder gave up on " + request.input + in_parentheses(messages.last_error()) + "; " + request.output +
           " holds the untouched black frame");
    return exit_decoder_gave_up;
  }
  return exit_success;
}

}  // namespace

int run_decode(const DecodeRequest& request) {
  if (std::string refusal = check_output(request); !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  ModuleSession module;
  if (std::string failure = module.find_and_open(request.module_path); !failure.empty()) {
    report(failure);
    return exit_internal_failure;
  }
  ResolvedValues values{};
  if (std::string refusal = resolve_values(module.parameters(), request.values, values); !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  std::vector<std::uint8_t> stream;
  FrameHeader header;
  if (const int refused = read_stream(request, stream, header); refused != exit_success) {
    return refused;
  }
  MessageDestination messages;
  if (std::string failure = messages.open(request.messages); !failure.empty()) {
    report("cannot write " + request.messages + ": " + failure);
    return exit_bad_input;
  }

  // Opaque black, as the effect's work buffer starts; one pixel when the
  // stream declares no size.
  const bool has_size = header.width > 0 && header.height > 0;
  hostsim::Picture work =
      hostsim::Picture::filled(static_cast<A_long>(has_size ? header.width : 1),
                               static_cast<A_long>(has_size ? header.height : 1), PF_Pixel{255, 0, 0, 0});
  GlitchSettings settings = settings_from_values(values);
  settings.pixels = work.argb.data();
  settings.width = work.width;
  settings.height = work.height;
  settings.messages = messages.sink();
  const std::int32_t result = settings.decode_to_work_buffer(stream.data(), static_cast<std::uint32_t>(stream.size()));

  if (std::string failure = messages.finish(); !failure.empty()) {
    report(failure);
    return exit_bad_input;
  }
  if (!has_size) {
    if (std::string failure = messages.commit(); !failure.empty()) {
      report(failure);
      return exit_bad_input;
    }
    report_note("decode: 1 frame, " + std::to_string(messages.lines()) + " decoder lines " + messages.describe());
    report("nothing written to " + request.output + ": " + request.input + " declares no frame size" +
           in_parentheses(messages.last_error()));
    return result < 0 ? exit_decoder_gave_up : exit_bad_input;
  }
  return finish(request, work, messages, result);
}

}  // namespace shardcast::cli
