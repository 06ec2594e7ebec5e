// FFmpeg's log as the tool's lines. FFmpeg writes its own log to standard
// error; here its errors are kept instead and the last one goes into the
// tool's one-line refusal, while its warnings and notes become the tool's
// own lines at their level (tool_log.h), so nothing but "shardcast: " lines
// reaches the user. The log is process-wide in FFmpeg, hence one lock
// around what is kept of it.
#pragma once

#include <string>

namespace shardcast::cli::ffmpeg {

// Sends FFmpeg's log here (from the first call on) and forgets the last
// error kept, so that a refusal names only what the coming work logs.
void quiet_library_log();

// While a clip is opened, FFmpeg's lines about it are held: a refusal says
// in its one line what went wrong (probing warns, for one, of a frame size
// it could not find, after the pixel limit kept the decoder from it), and
// a clip that opens has them shown after all.
void hold_library_lines();
// Stops holding; the held lines are shown, or dropped.
void end_holding(bool show);

// FFmpeg's reason for a result code, with the last line it logged.
std::string reason(int code);
// FFmpeg's last error line, taken, in parentheses; empty when it logged none.
std::string logged_error();

}  // namespace shardcast::cli::ffmpeg
