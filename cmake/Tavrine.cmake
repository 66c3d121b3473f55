# Build helpers shared by every module.

set(TAVRINE_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)
# A pointer squeezed into a smaller integer, or an integer widened into a
# pointer, is right on one Windows architecture and wrong on the other.
list(APPEND TAVRINE_WARNINGS -Werror=int-to-pointer-cast
     $<$<COMPILE_LANGUAGE:C>:-Werror=pointer-to-int-cast>)
if(TAVRINE_WINDOWS)
  # printf formats that fit one pointer size only (%lu for size_t...).
  list(APPEND TAVRINE_WARNINGS -Werror=format)
endif()

if(TAVRINE_WINDOWS)
  # Native helpers the Windows tests run (the modem line simulator, the fax
  # page decoder) come from a native build tree named here.
  set(TAVRINE_NATIVE_DIR "" CACHE PATH "Native build tree whose helper programs the Windows tests run")
  if(NOT TAVRINE_NATIVE_DIR)
    message(STATUS "TAVRINE_NATIVE_DIR is not set: the Windows tests that need native helpers will fail")
  endif()
  # Test scripts start this tree's Windows programs with the same Wine as ctest.
  set(TV_WINE_ENV ${CMAKE_COMMAND} -E env "TAVRINE_WINE=${TAVRINE_WINE}")
endif()

# The path of a program of the native tree, for a Windows test.
function(tv_native_program var relpath)
  if(TAVRINE_NATIVE_DIR)
    set(${var} "${TAVRINE_NATIVE_DIR}/${relpath}" PARENT_SCOPE)
  else()
    set(${var} "TAVRINE_NATIVE_DIR-is-not-set/${relpath}" PARENT_SCOPE)
  endif()
endfunction()

# Flags every target of ours gets.
function(tv_target_defaults target)
  target_compile_options(${target} PRIVATE ${TAVRINE_WARNINGS})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  if(TAVRINE_WINDOWS)
    # Windows 95 / NT 4 era API surface, ANSI calls only.
    target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501)
  endif()
  if(TAVRINE_NATIVE AND TAVRINE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(TAVRINE_FUZZ)
    # Coverage feedback from the libraries too, not only from the fuzz target.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# tv_library(name [STATIC] SOURCES ... [LIBS ...])
function(tv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  tv_target_defaults(${name})
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
endfunction()

# tv_program(name [CONSOLE|GUI] SOURCES ... [LIBS ...])
function(tv_program name)
  cmake_parse_arguments(A "CONSOLE;GUI" "" "SOURCES;LIBS" ${ARGN})
  if(A_GUI AND TAVRINE_WINDOWS)
    add_executable(${name} WIN32 ${A_SOURCES})
  else()
    add_executable(${name} ${A_SOURCES})
  endif()
  tv_target_defaults(${name})
  if(A_LIBS)
    target_link_libraries(${name} PRIVATE ${A_LIBS})
  endif()
endfunction()

# tv_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [DISPLAY])
# One ctest entry per test binary: under Wine a process start costs far
# more than a test case. DISPLAY marks a test that needs the X server.
function(tv_test name)
  if(TAVRINE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "DISPLAY" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  tv_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${A_LIBS} tvtestsupport gmock gtest_main)
  if(TAVRINE_WINDOWS)
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/tmpfile_win.cpp)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
  if(A_DISPLAY)
    set_tests_properties(${name} PROPERTIES LABELS display)
  endif()
endfunction()

# tv_fuzz(name SOURCES ... [LIBS ...] CORPUS dir)
# The source defines LLVMFuzzerTestOneInput. In the fuzz tree it becomes a
# libFuzzer binary run for TAVRINE_FUZZ_SECONDS on the committed seeds; in the
# native tree it becomes a replay program that feeds every seed through the
# same entry point under ASan/UBSan.
function(tv_fuzz name)
  if(NOT TAVRINE_NATIVE)
    return()
  endif()
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(TAVRINE_FUZZ)
    add_executable(${name} ${A_SOURCES})
    tv_target_defaults(${name})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${A_LIBS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus)
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name}
             COMMAND ${name} -max_total_time=${TAVRINE_FUZZ_SECONDS} -timeout=10
                     -rss_limit_mb=2048 -print_final_stats=1 ${work} ${A_CORPUS})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS fuzz)
  else()
    add_executable(${name}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz_replay_main.cpp)
    tv_target_defaults(${name}_replay)
    target_link_libraries(${name}_replay PRIVATE ${A_LIBS})
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${A_CORPUS})
    set_tests_properties(${name}_replay PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# tv_bench_program(name SOURCES ... FROM_LIBS ...)
# A benchmark of the native tree: optimised and without sanitizers, so the
# sources of the libraries it measures are compiled into it again rather than
# linked from the libraries, which carry the sanitizer flags of the tree.
function(tv_bench_program name)
  cmake_parse_arguments(A "" "" "SOURCES;FROM_LIBS" ${ARGN})
  set(sources ${A_SOURCES})
  foreach(lib ${A_FROM_LIBS})
    get_target_property(lib_sources ${lib} SOURCES)
    get_target_property(lib_dir ${lib} SOURCE_DIR)
    foreach(src ${lib_sources})
      if(IS_ABSOLUTE "${src}")
        list(APPEND sources "${src}")
      else()
        list(APPEND sources "${lib_dir}/${src}")
      endif()
    endforeach()
  endforeach()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -O2 -g0 -DNDEBUG ${TAVRINE_WARNINGS})
endfunction()
