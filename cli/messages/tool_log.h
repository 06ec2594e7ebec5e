// The tool's lines on standard error, and how many of them a run shows.
//
// Every line begins "shardcast: " and is one line: control characters in
// it (a file name holding a newline, say) are shown escaped. Errors always
// show; warnings, hints, summaries and the progress bar only without
// -q/--quiet; information (FFmpeg's and the encoders' own notes) only with
// -v/--verbose. Lines the libraries write themselves pass through here too:
// FFmpeg's through its log callback, an encoder library's own prints (x265
// and x264 write straight to standard error) through relay_library_output.
#pragma once

#include <string>
#include <string_view>

namespace shardcast::cli {

enum class Verbosity { Quiet, Normal, Verbose };

// Set once, from the command line, before anything is reported.
void set_verbosity(Verbosity verbosity);
Verbosity verbosity();

// The text with every control character shown as an escape (\n, \t, \r,
// \xHH; the C1 controls of UTF-8 as \u0080 to \u009F), so that it stays one
// line and cannot steer a terminal.
std::string escaped(std::string_view text);

// Errors: always shown.
void report(const std::string& text);
// "warning: " and the text, unless quiet.
void report_warning(const std::string& text);
// Hints and summaries, unless quiet.
void report_note(const std::string& text);
// Only when verbose.
void report_info(const std::string& text);

enum class LibraryLevel { Error, Warning, Info };

// One line a library logged, under the library's name ("libx264"): errors
// and warnings with their level word, information only when verbose.
void report_library_line(LibraryLevel level, const std::string& library, const std::string& text);

// Text an encoder library wrote to standard error by itself while the tool
// held it back (see output_capture.h): the tool's own lines in it pass as
// they are; "x265 [warning]: text" and the like become library lines at
// their level; anything else is information.
void relay_library_output(std::string_view text);

}  // namespace shardcast::cli
