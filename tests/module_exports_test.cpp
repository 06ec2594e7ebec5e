// The module's dynamic symbol table: the host resolves exactly two names,
// and nothing else may be visible (a leaked library symbol could bind to
// another plug-in's copy of the same library).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> defined_dynamic_symbols(const std::string& module) {
  const std::string command = "nm -D --defined-only '" + module + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::set<std::string> names;
  if (!pipe) {
    return names;
  }
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::istringstream fields(line);
    std::string address, type, name;
    // Lines are "<address> <type> <name>"; undefined ones have no address.
    if (fields >> address >> type >> name) {
      names.insert(name);
    }
  }
  return names;
}

TEST(ModuleExports, OnlyTheTwoEntryPointsAreDefined) {
  const std::set<std::string> expected{"EffectMain", "PluginDataEntryFunction"};
  EXPECT_EQ(defined_dynamic_symbols(SHARDCAST_MODULE_PATH), expected);
}

}  // namespace
