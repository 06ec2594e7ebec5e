// The effect's identity as the host sees it, in one place. The registration
// call (PluginDataEntryFunction), global setup and the build-time generator
// of the PiPL resource all read these values, so the resource and the code
// cannot drift apart. Nothing here depends on the host's headers: the
// generator is a plain build tool.
//
// The version and subversion are the project's (CMakeLists.txt), which the
// build hands every program that includes this as SHARDCAST_VERSION_MAJOR
// and SHARDCAST_VERSION_MINOR.
#pragma once

#include <cstdint>

#if !defined(SHARDCAST_VERSION_MAJOR) || !defined(SHARDCAST_VERSION_MINOR)
#error "the build defines SHARDCAST_VERSION_MAJOR and SHARDCAST_VERSION_MINOR from the project's version"
#endif

namespace shardcast {

// The host's packing of an effect version (PF_VERSION): build in bits 0-8,
// stage in 9-10, fix level in 11-14, subversion in 15-18, the version's low
// three bits in 19-21 and its high bits from bit 26.
constexpr std::uint32_t packed_effect_version(std::uint32_t version, std::uint32_t subversion, std::uint32_t fix_level,
                                              std::uint32_t stage, std::uint32_t build) {
  return ((version >> 3) & 0xFu) << 26 | (version & 7u) << 19 | (subversion & 0xFu) << 15 | (fix_level & 0xFu) << 11 |
         (stage & 3u) << 9 | (build & 0x1FFu);
}

// The fix level, stage and build the effect registers under; the project's
// version has no counterpart for them.
inline constexpr std::uint32_t effect_fix_level = 7;
inline constexpr std::uint32_t effect_stage_develop = 0;
inline constexpr std::uint32_t effect_build = 0;

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

// Version 1.0 packs as 0x00083800. The API version is that of the 2023
// interface (13.28); the resource claims the newer 13.29 that the same
// release of the effect shipped with.
inline constexpr RegistrationData registration_data{
    .name = "Shardcast",
    .match_name = "ADBE Shardcast",
    .category = "Korvane",
    .entry_point = "EffectMain",
    .support_url = "https://shardcast.invalid/support",
    .kind = 'eFKT',
    .effect_version = packed_effect_version(SHARDCAST_VERSION_MAJOR, SHARDCAST_VERSION_MINOR, effect_fix_level,
                                            effect_stage_develop, effect_build),
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
    .about_version_major = SHARDCAST_VERSION_MAJOR,
    .about_version_minor = SHARDCAST_VERSION_MINOR,
};

}  // namespace shardcast
