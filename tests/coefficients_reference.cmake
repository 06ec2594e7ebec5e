# The coefficient reference check reads the same streams with libjpeg.
target_link_libraries(coefficients_reference_test PRIVATE JPEG::JPEG)
