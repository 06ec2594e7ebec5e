// Replays fuzz inputs without libFuzzer: every file named on the command line,
// or found under a named folder, goes through the harness once. CTest runs
// this over the committed corpus, so every input that once crashed stays a
// regression test in the ordinary builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path root(argv[i]);
    if (std::filesystem::is_directory(root)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
          failures += replay_file(entry.path());
          ++replayed;
        }
      }
    } else {
      failures += replay_file(root);
      ++replayed;
    }
  }
  std::fprintf(stderr, "replayed %d inputs\n", replayed);  // a harness may silence stdout
  return failures == 0 && replayed > 0 ? 0 : 1;
}
