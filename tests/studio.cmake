# The studio: its parts in studio_test, and, against the built tool, the
# server under hostile requests and the page in Debian's headless Chromium
# (python3-selenium and chromium-driver, installed by
# scripts/install-deps.sh). Both scripts run with Debian's own python3,
# which holds Selenium; the browser test keeps docs/studio.png current.
if(NOT TARGET shardcast_studio)
  if(TARGET studio_test)
    set_target_properties(studio_test PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  return()
endif()
if(TARGET studio_test)
  target_link_libraries(studio_test PRIVATE shardcast_studio)
endif()

find_program(SHARDCAST_DEBIAN_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(SHARDCAST_CHROMIUM chromium)
find_program(SHARDCAST_CHROMEDRIVER chromedriver)
if(NOT SHARDCAST_DEBIAN_PYTHON3)
  message(WARNING "No /usr/bin/python3: the studio's request and browser tests are left out")
  return()
endif()
add_test(NAME studio_hostile_requests
         COMMAND ${SHARDCAST_DEBIAN_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/studio/hostile_requests_test.py
                 $<TARGET_FILE:shardcast>)
set_tests_properties(studio_hostile_requests PROPERTIES TIMEOUT 300)

execute_process(COMMAND ${SHARDCAST_DEBIAN_PYTHON3} -c "import selenium" RESULT_VARIABLE selenium_missing
                OUTPUT_QUIET ERROR_QUIET)
if(selenium_missing OR NOT SHARDCAST_CHROMIUM OR NOT SHARDCAST_CHROMEDRIVER)
  message(WARNING "Chromium, chromium-driver or python3-selenium missing (scripts/install-deps.sh installs them): "
                  "the studio's browser test is left out")
  return()
endif()
# Alone, so that the latency it prints is the page's and not the other
# tests'.
add_test(NAME studio_browser
         COMMAND ${SHARDCAST_DEBIAN_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/studio/browser_test.py
                 $<TARGET_FILE:shardcast> ${PROJECT_SOURCE_DIR}/docs/studio.png)
set_tests_properties(studio_browser PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
