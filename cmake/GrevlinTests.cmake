# Test executables. Files named *_sim.cpp use the simulated machine's control
# API and run natively only; every other test file runs in both builds.
function(grevlin_test_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND result ${found})
  endforeach()
  if(WIN32)
    list(FILTER result EXCLUDE REGEX "_sim\\.cpp$")
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
if(WIN32)
  list(FILTER SUPPORT_SOURCES EXCLUDE REGEX "_sim\\.cpp$")
endif()
add_library(grevlin_test_support STATIC ${SUPPORT_SOURCES})
target_link_libraries(grevlin_test_support PUBLIC grevlin_core crc_forge gtest)
target_include_directories(grevlin_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)

function(grevlin_add_test_executable name)
  grevlin_test_sources(sources ${ARGN})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE grevlin_test_support gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  # A hung test fails the run instead of stalling it.
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# Conformance: Windows behaviour the program relies on, against real Win32
# under Wine and against the simulation natively.
grevlin_add_test_executable(platform_tests tests/platform)
grevlin_add_test_executable(unit_tests
  tests/scan tests/environment tests/detection tests/streams tests/removal tests/registry tests/theming
  tests/robustness)

# Grevlin.exe itself: its PE headers, imports and resources, read back
# through Win32 from beside the test executable.
if(WIN32)
  grevlin_add_test_executable(resource_tests tests/resources)
  if(TARGET resource_tests)
    add_dependencies(resource_tests Grevlin)
  endif()
endif()

# The committed icon and About picture are what scripts/draw-icon.py draws.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_test(NAME drawn_pictures
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/draw-icon.py --check)
  endif()
endif()
