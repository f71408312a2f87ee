# GoogleTest: the machine's package natively; built from Debian's googletest sources for Windows.
if(PELLIX_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(PELLIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    add_subdirectory(${PELLIX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # The Windows compilers carry no C++ thread library (see mingw-common.cmake); GoogleTest
    # and the test programs that use it get a stand-in for the two classes it names.
    foreach(lib gtest gmock)
      target_compile_options(${lib} PUBLIC
        "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/gtest-win32-threads.h")
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# pellix_add_test(name SOURCES ... LIBS ...): one ctest entry per test program, natively
# and under Wine alike (one Wine start per program, not per case).
function(pellix_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT PELLIX_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  pellix_wine_flavour(${name})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# A subsystem folder: its portable core, its Windows glue (Windows builds only) and its tests,
# each where present.
macro(pellix_add_parts)
  foreach(part core src win32 tests bench fuzz)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${part}/CMakeLists.txt)
      if(part STREQUAL "win32" AND NOT WIN32)
        continue()
      endif()
      add_subdirectory(${part})
    endif()
  endforeach()
endmacro()

# Tests that run Windows programs under Wine: the flavour (win32 or win64) goes to them as
# PELLIX_FLAVOUR, from which scripts/lib-wine.sh picks the loader and prefix.
function(pellix_wine_flavour)
  if(CMAKE_CROSSCOMPILING AND PELLIX_WINDOWS_FLAVOUR)
    set_tests_properties(${ARGN} PROPERTIES ENVIRONMENT "PELLIX_FLAVOUR=${PELLIX_WINDOWS_FLAVOUR}")
  endif()
endfunction()
