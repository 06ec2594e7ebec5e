# The studio: its parts in studio_test, and, run against the built tool in
# Debian's headless Chromium (python3-selenium, chromium-driver), the page
# and the server under hostile requests.
if(TARGET studio_test)
  if(TARGET shardcast_studio)
    target_link_libraries(studio_test PRIVATE shardcast_studio)
  else()
    set_target_properties(studio_test PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
