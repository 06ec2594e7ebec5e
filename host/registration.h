// The effect's identity as the host sees it, in one place. The registration
// call (PluginDataEntryFunction), global setup and the build-time generator
// of the PiPL resource all read these values, so the resource and the code
// cannot drift apart. Nothing here depends on the host's headers: the
// generator is a plain build tool.
#pragma once

#include <cstdint>

namespace shardcast {

struct RegistrationData {
  const char* name;
  const char* match_name;
  const char* category;
  const char* entry_point;
  const char* support_url;
  std::uint32_t kind;            // four-character code, 'eFKT': an effect
  std::uint32_t effect_version;  // my_version and the PiPL's 'eVER'
  // What the registration call announces.
  std::int32_t api_version_major;
  std::int32_t api_version_minor;
  std::int32_t reserved_info;
  // What the PiPL resource announces.
  std::uint16_t pipl_version_major;
  std::uint16_t pipl_version_minor;
  std::uint16_t pipl_spec_version_major;
  std::uint16_t pipl_spec_version_minor;
  std::uint16_t info_flags;
  std::uint32_t global_out_flags;   // must equal the out_flags of global setup
  std::uint32_t global_out_flags2;  // must equal the out_flags2 of global setup
  std::uint32_t pipl_reserved_info;
  // The version shown in the About text.
  std::int32_t about_version_major;
  std::int32_t about_version_minor;
};

// 0x00083800 packs version 1, subversion 0, fix level 7, stage develop,
// build 0. The API version is that of the 2023 interface (13.28); the
// resource claims the newer 13.29 that the same release of the effect shipped
// with.
inline constexpr RegistrationData registration_data{
    .name = "Shardcast",
    .match_name = "ADBE Shardcast",
    .category = "Korvane",
    .entry_point = "EffectMain",
    .support_url = "https://shardcast.invalid/support",
    .kind = 'eFKT',
    .effect_version = 0x00083800u,
    .api_version_major = 13,
    .api_version_minor = 28,
    .reserved_info = 8,
    .pipl_version_major = 2,
    .pipl_version_minor = 0,
    .pipl_spec_version_major = 13,
    .pipl_spec_version_minor = 29,
    .info_flags = 0,
    .global_out_flags = 0,
    .global_out_flags2 = 0,
    .pipl_reserved_info = 0,
    .about_version_major = 1,
    .about_version_minor = 0,
};

}  // namespace shardcast
