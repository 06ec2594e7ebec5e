# The clip road: bytes opened as a clip through the tool's video reader and
# rendered through the effect linked in (as effect_fuzz does). Only where
# the build has FFmpeg's libraries.
if(TARGET PkgConfig::FFMPEG AND TARGET shardcast_cli_parts)
  shardcast_fuzz_harness(clip_fuzz LIBRARIES shardcast_cli_parts shardcast_host)
endif()
