# Helpers that let each folder declare its target in one line, with its sources
# picked up by glob so that new files need no edit of a shared list.

# tarvo_library(NAME [DEPENDS dep...]): a library from the *.cpp of the calling
# folder; header-only folders give an INTERFACE library.
function(tarvo_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# tarvo_tests(NAME DEPENDS dep... [LABELS label...]): one test program from the
# *Test.cpp files of the calling folder, each test registered with CTest.
function(tarvo_tests name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPENDS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    TARVO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TARVO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# Adds every subfolder of the calling folder that has a CMakeLists.txt.
function(tarvo_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# tarvo_display_test(NAME PROGRAM): runs the test program under a virtual display
# (xvfb-run); without xvfb-run the test reports itself skipped.
function(tarvo_display_test name program)
  find_program(XVFB_RUN xvfb-run)
  if(XVFB_RUN)
    add_test(NAME ${name} COMMAND ${XVFB_RUN} -a -s "-screen 0 1024x768x24" $<TARGET_FILE:${program}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "gui")
  else()
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "xvfb-run is missing: ${name} is skipped")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "is skipped")
  endif()
endfunction()
