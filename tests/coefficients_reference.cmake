# The coefficient reference check compresses with TurboJPEG and reads the
# same streams with libjpeg.
target_link_libraries(coefficients_reference_test PRIVATE JPEG::JPEG PkgConfig::TURBOJPEG)
