# Helpers that give every folder of the layout the same shape: one library per
# folder built from the sources found in it, one test program per test folder
# registered in ctest under the folder's label, one program per benchmark file.

# harvella_library(<target> [DEPENDS <targets>...])
# Builds the .cpp files of the current folder into <target>. A folder that has
# no sources yet becomes an interface library so that dependants still link.
function(harvella_library target)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# harvella_tests(<name> LABELS <labels>... DEPENDS <targets>...)
# Builds the .cpp files of the current test folder into test_<name> and
# registers every test case in ctest with the given labels.
function(harvella_tests name)
  cmake_parse_arguments(ARG "" "" "LABELS;DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/common/LeakSuppressions.cpp)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPENDS} testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(test_${name} PRIVATE
    HARVELLA_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    HARVELLA_BUILD_DIR="${PROJECT_BINARY_DIR}")
  # The folder's labels apply to every test discovered in it.
  set_property(DIRECTORY PROPERTY LABELS ${ARG_LABELS})
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 600)
endfunction()

# harvella_window_tests(<name> [FILTER <gtest filter>])
# Registers the cases of test_<name> that drive windows (all, or those the
# filter names) a second time, labelled "xvfb" and named "X11:<case>": each
# runs on a virtual X server of its own with a window manager
# (cmake/RunOnXServer.sh), besides its run on the offscreen platform.
function(harvella_window_tests name)
  cmake_parse_arguments(ARG "" "FILTER" "" ${ARGN})
  if(NOT TARGET test_${name})
    return()
  endif()
  # The discovery takes the runner from the target at this call only.
  set_property(TARGET test_${name} PROPERTY CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/RunOnXServer.sh)
  if(ARG_FILTER)
    set(filter TEST_FILTER ${ARG_FILTER})
  endif()
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "X11:"
    ${filter}
    PROPERTIES TIMEOUT 600 LABELS xvfb)
  set_property(TARGET test_${name} PROPERTY CROSSCOMPILING_EMULATOR "")
endfunction()

# harvella_bench(<name> DEPENDS <targets>...)
# One benchmark program per call; `make bench` runs them all.
function(harvella_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPENDS} benchmark::benchmark)
  set_target_properties(bench_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/benchbin)
endfunction()
