// The outputs of a command held against its inputs (see output_guard.h).
//
// Inputs are taken by identity once; outputs that do not exist yet cannot
// be an input and need no identity. An output frame pattern is matched
// against the files of its folder (list_frames), so a clip of unknown
// length costs one listing, not a look-up per possible frame.
#include "cli/output/output_guard.h"

#include <filesystem>

#include "cli/frames/frame_sequence.h"
#include "cli/output/pending_file.h"

namespace shardcast::cli {

void OutputGuard::add_input(const std::string& name, std::optional<FileIdentity> identity) {
  if (identity.has_value()) {
    inputs_.push_back(Input{name, *identity});
  }
}

std::string OutputGuard::check(const std::string& name, std::optional<FileIdentity> identity) const {
  if (!identity.has_value()) {
    return {};
  }
  for (const Input& input : inputs_) {
    if (input.identity == *identity) {
      return "cannot write " + name + ": it is the same file as the input " + input.name +
             "; an input is never overwritten";
    }
  }
  return {};
}

std::string OutputGuard::check_output_file(const std::string& name) const {
  if (std::string refusal = check(name, file_identity(name)); !refusal.empty()) {
    return refusal;
  }
  std::error_code error;
  if (no_overwrite_ && std::filesystem::exists(std::filesystem::symlink_status(name, error))) {
    return "cannot write " + name + ": it exists, and -n (--no-overwrite) keeps existing files";
  }
  return {};
}

std::string OutputGuard::check_standard_output() const { return check("standard output", stream_identity(stdout)); }

namespace {

void add_inputs(const RenderRequest& request, const FrameSource& source, OutputGuard& guard) {
  switch (source.kind) {
    case SourceKind::Sample:
      break;
    case SourceKind::Picture:
    case SourceKind::Clip:
      guard.add_input_file(request.input);
      break;
    case SourceKind::Sequence:
      for (std::int64_t frame = source.range.first; frame <= source.range.last; ++frame) {
        guard.add_input_file(source.pattern.name_for(frame));
      }
      break;
    case SourceKind::Stream:
      guard.add_input("standard input", stream_identity(stdin));
      break;
  }
}

std::string check_sequence_output(const FrameSink& sink, const FrameRange& frames, const OutputGuard& guard) {
  std::vector<std::int64_t> existing;
  if (!list_frames(sink.pattern, existing).empty()) {
    return {};  // no folder to list: nothing there to overwrite
  }
  for (const std::int64_t frame : existing) {
    if (frame < frames.first || frame > frames.last) {
      continue;
    }
    if (std::string refusal = guard.check_output_file(sink.pattern.name_for(frame)); !refusal.empty()) {
      return refusal;
    }
  }
  return {};
}

// Both name one file: by identity where it exists, else by where the name
// leads.
bool same_file(const std::string& one, const std::string& other) {
  const std::optional<FileIdentity> first = file_identity(one);
  if (first.has_value()) {
    return first == file_identity(other);
  }
  std::error_code first_error;
  std::error_code other_error;
  const std::filesystem::path first_place = std::filesystem::weakly_canonical(output_target(one), first_error);
  const std::filesystem::path other_place = std::filesystem::weakly_canonical(output_target(other), other_error);
  return !first_error && !other_error && first_place == other_place;
}

std::string check_messages(const std::string& messages, const std::string& output, const OutputGuard& guard) {
  if (messages.empty()) {
    return {};
  }
  if (messages == "-") {
    return output == "-" ? std::string() : guard.check_standard_output();
  }
  if (output != "-" && same_file(messages, output)) {
    return "cannot write " + messages + ": --messages and -o name the same file";
  }
  return guard.check_output_file(messages);
}

}  // namespace

std::string check_render_outputs(const RenderRequest& request, const FrameSource& source, const FrameSink& sink) {
  OutputGuard guard(request.no_overwrite);
  add_inputs(request, source, guard);
  std::string refusal;
  switch (sink.kind) {
    case SinkKind::Picture:
    case SinkKind::Video:
      refusal = guard.check_output_file(request.output);
      break;
    case SinkKind::Sequence:
      refusal = check_sequence_output(sink, source.range, guard);
      break;
    case SinkKind::Stream:
      refusal = guard.check_standard_output();
      break;
  }
  if (!refusal.empty()) {
    return refusal;
  }
  return check_messages(request.messages, request.output, guard);
}

std::string check_decode_outputs(const DecodeRequest& request) {
  OutputGuard guard(request.no_overwrite);
  guard.add_input_file(request.input);
  if (std::string refusal = guard.check_output_file(request.output); !refusal.empty()) {
    return refusal;
  }
  return check_messages(request.messages, request.output, guard);
}

}  // namespace shardcast::cli
