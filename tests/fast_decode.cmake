# The fast decode's comparison compresses its streams with TurboJPEG.
target_link_libraries(fast_decode_test PRIVATE PkgConfig::TURBOJPEG)
