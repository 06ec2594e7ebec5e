// Build tool: writes the effect's PiPL registration resource from the
// registration data in host/registration.h, twice over:
//   - the raw resource bytes (little-endian, as a Windows host reads them),
//   - a Windows resource script (type PIPL, id 16000, US English) that
//     compiles to exactly those bytes.
// Usage: shardcast_pipl_generator <out.pipl> <out.rc>
// It refuses strings that do not fit a Pascal string and fails loudly when a
// file cannot be written, so a broken resource never reaches a build.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/registration.h"

namespace {

using shardcast::registration_data;

constexpr std::uint32_t vendor_code = '8BIM';
constexpr std::uint16_t leading_word = 1;  // Windows resources start with it
constexpr std::uint32_t properties_version = 0;

struct Writer {
  std::vector<std::uint8_t> bytes;

  void u16(std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
  }
  void raw(std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
  void pad_to_four() {
    while (bytes.size() % 4 != 2) {  // the leading word shifts every property by two
      bytes.push_back(0);
    }
  }
};

std::uint32_t padded(std::size_t size) { return static_cast<std::uint32_t>((size + 3) / 4 * 4); }

// One property whose value is built by `value`; `length` is what the length
// field announces (string values count their padding, 'eINF' does not).
template <typename ValueWriter>
void property(Writer& out, std::uint32_t key, std::uint32_t length, ValueWriter value) {
  out.u32(vendor_code);
  out.u32(key);
  out.u32(0);  // property id
  out.u32(length);
  value(out);
  out.pad_to_four();
}

bool pascal_property(Writer& out, std::uint32_t key, std::string_view text) {
  if (text.size() > 255) {
    std::fprintf(stderr, "pipl: \"%.*s\" is too long for a Pascal string\n", static_cast<int>(text.size()),
                 text.data());
    return false;
  }
  property(out, key, padded(text.size() + 1), [&](Writer& w) {
    w.bytes.push_back(static_cast<std::uint8_t>(text.size()));
    w.raw(text);
  });
  return true;
}

void c_string_property(Writer& out, std::uint32_t key, std::string_view text) {
  property(out, key, padded(text.size() + 1), [&](Writer& w) {
    w.raw(text);
    w.bytes.push_back(0);
  });
}

void fourcc_property(Writer& out, std::uint32_t key, std::uint32_t value) {
  property(out, key, 4, [&](Writer& w) { w.u32(value); });
}

void version_pair_property(Writer& out, std::uint32_t key, std::uint16_t major, std::uint16_t minor) {
  property(out, key, 4, [&](Writer& w) {
    w.u16(major);
    w.u16(minor);
  });
}

bool build_pipl(std::vector<std::uint8_t>& result) {
  const auto& r = registration_data;
  Writer out;
  out.u16(leading_word);
  out.u32(properties_version);
  out.u32(13);  // property count
  bool ok = true;
  fourcc_property(out, 'kind', r.kind);
  ok = pascal_property(out, 'name', r.name) && ok;
  ok = pascal_property(out, 'catg', r.category) && ok;
  c_string_property(out, '8664', r.entry_point);
  version_pair_property(out, 'ePVR', r.pipl_version_major, r.pipl_version_minor);
  version_pair_property(out, 'eSVR', r.pipl_spec_version_major, r.pipl_spec_version_minor);
  fourcc_property(out, 'eVER', r.effect_version);
  property(out, 'eINF', 2, [&](Writer& w) { w.u16(r.info_flags); });
  fourcc_property(out, 'eGLO', r.global_out_flags);
  fourcc_property(out, 'eGL2', r.global_out_flags2);
  ok = pascal_property(out, 'eMNA', r.match_name) && ok;
  fourcc_property(out, 'aeFL', r.pipl_reserved_info);
  ok = pascal_property(out, 'eURL', r.support_url) && ok;
  result = std::move(out.bytes);
  return ok;
}

std::uint32_t little_endian_u32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The script spells every byte as a number (one WORD, then DWORDs), which
// every resource compiler reads alike; strings would need care with NULs.
std::string resource_script(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  text +=
      "/* Shardcast PiPL registration resource. Generated at build time from\n"
      "   host/registration.h by shardcast_pipl_generator; do not edit. */\n\n";
  text += "LANGUAGE 9, 1\n\n16000 PIPL DISCARDABLE\nBEGIN\n";
  char item[64];
  std::snprintf(item, sizeof item, "  %u", static_cast<unsigned>(bytes[0] | bytes[1] << 8));
  text += item;
  for (std::size_t at = 2; at + 4 <= bytes.size(); at += 4) {
    std::snprintf(item, sizeof item, ",%s0x%08XL", (at - 2) % 16 == 0 ? "\n  " : " ",
                  static_cast<unsigned>(little_endian_u32(bytes, at)));
    text += item;
  }
  text += "\nEND\n";
  return text;
}

bool write_file(const char* path, const void* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  file.close();
  if (!file) {
    std::fprintf(stderr, "pipl: cannot write %s\n", path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <out.pipl> <out.rc>\n", argv[0]);
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  if (!build_pipl(bytes)) {
    return 1;
  }
  const std::string script = resource_script(bytes);
  if (!write_file(argv[1], bytes.data(), bytes.size()) || !write_file(argv[2], script.data(), script.size())) {
    return 1;
  }
  return 0;
}
