// The man page's PARAMETERS section, in help2man's include form: every
// option that sets a parameter, with what it does, the name and group the
// host shows, the range and the default.
#include <string>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

std::string item(const ParamRow& row) {
  const std::string argument = row.kind == ParamKind::Checkbox ? "\\fIon\\fR|\\fIoff\\fR" : "\\fINUMBER\\fR";
  const std::string_view group = group_of(row);
  std::string where = "\"" + std::string(row.name) + "\"";
  if (!group.empty()) {
    where += " in \"" + std::string(group) + "\"";
  }
  return ".TP\n\\fB\\-\\-" + roff_line(row.option) + "\\fR " + argument + "\n" + roff_line(row.description) +
         "\n.br\n" +
         roff_line(where + ": " + range_text(row) + ", default " + default_text(row) +
                   (row.decoder ? "; also for decode" : "")) +
         "\n";
}

}  // namespace

std::string man_page_section() {
  std::string section =
      "[PARAMETERS]\n"
      "Each parameter of the effect has an option of its own in\n"
      ".B render\n"
      "(a value, or keys\n"
      ".IR VALUE @ FRAME ,...\n"
      "that animate it); those the decoder reads also in\n"
      ".BR decode .\n"
      "Each is listed with what it does, the name and group the host shows, its range and its default.\n";
  for (const ParamRow* row : value_params) {
    section += item(*row);
  }
  return section;
}

}  // namespace shardcast::describe
