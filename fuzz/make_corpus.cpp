// Writes the seed corpus of the decoder harness: small streams from
// TurboJPEG in every subsampling the decoder accepts, with and without
// restart intervals, each behind a few different settings prefixes, plus
// a truncated and a damaged copy. Usage: make_corpus FOLDER
#include <turbojpeg.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes compress(int width, int height, int subsampling, int quality, bool grey) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = static_cast<std::uint8_t>((x ^ y) * 16);
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* stream = nullptr;
  unsigned long length = 0;
  const int result = tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &stream, &length,
                                 grey ? TJSAMP_GRAY : subsampling, quality, 0);
  Bytes bytes;
  if (result == 0) {
    bytes.assign(stream, stream + length);
  }
  tjFree(stream);
  tjDestroy(handle);
  return bytes;
}

void write(const std::filesystem::path& path, const Bytes& prefix, const Bytes& stream) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
  file.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::filesystem::create_directories(folder);

  // switches, qtl/qtc position, qtl/qtc value, break counts, maxima, seed, table seeds
  const std::array<Bytes, 3> prefixes = {
      Bytes{0x07, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1},
      Bytes{0x1F, 1, 64, 0, 255, 3, 3, 10, 0, 0, 0, 0, 7, 2, 3},
      Bytes{0x00, 0, 65, 9, 9, 64, 64, 255, 255, 0xDE, 0xAD, 0xBE, 0xEF, 9, 9},
  };
  struct Shape {
    const char* name;
    int width, height, subsampling;
    bool grey;
  };
  const Shape shapes[] = {
      {"422", 32, 16, TJSAMP_422, false}, {"444", 16, 8, TJSAMP_444, false}, {"420", 24, 24, TJSAMP_420, false},
      {"440", 8, 24, TJSAMP_440, false},  {"grey", 16, 16, 0, true},         {"422_odd", 17, 10, TJSAMP_422, false},
  };
  int written = 0;
  for (const Shape& shape : shapes) {
    const Bytes stream = compress(shape.width, shape.height, shape.subsampling, 75, shape.grey);
    for (std::size_t p = 0; p < prefixes.size(); ++p) {
      write(folder / (std::string(shape.name) + "_" + std::to_string(p)), prefixes[p], stream);
      ++written;
    }
    Bytes truncated(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() * 3 / 4));
    write(folder / (std::string(shape.name) + "_truncated"), prefixes[0], truncated);
    Bytes damaged = stream;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() - 2; i += 7) {
      damaged[i] = static_cast<std::uint8_t>(damaged[i] * 31 + 17);
    }
    write(folder / (std::string(shape.name) + "_damaged"), prefixes[1], damaged);
    written += 2;
  }
  std::printf("wrote %d inputs to %s\n", written, folder.c_str());
  return 0;
}
