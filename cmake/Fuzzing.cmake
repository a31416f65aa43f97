# libFuzzer targets (tests/fuzz/fuzz_*.cpp), seen from the main build.
#
# The main build uses the system's default compiler; libFuzzer needs clang's
# -fsanitize=fuzzer and coverage-instrumented code under test. So when clang
# can build and link a libFuzzer program, the targets and the libraries they
# test are built with clang (address and undefined-behaviour sanitizers) in a
# build of their own, build/fuzz/, which enters the top CMakeLists.txt with
# FRAMLA_FUZZ_BUILD=ON (cmake/FuzzBuild.cmake). Each target is registered here
# as a CTest test labelled "fuzz" that runs a few seconds from its seed
# corpus (tests/fuzz/corpus/<target>/); what it finds goes to
# build/fuzz-corpus-ctest/ (long runs, tests/fuzz/run-long, keep theirs in
# build/fuzz-corpus/, which a short test would take too long to read).
option(FRAMLA_BUILD_FUZZERS "Build the libFuzzer targets when clang supports -fsanitize=fuzzer" ON)

if(NOT FRAMLA_BUILD_FUZZERS)
    return()
endif()

# The code needs std::source_location, which clang compiles from version 15 on.
find_program(FRAMLA_FUZZ_CXX NAMES clang++-16 clang++-17 clang++-18 clang++-15 clang++)
# Probed again on every configure until it works (a clang installed later counts).
if(FRAMLA_FUZZ_CXX AND NOT FRAMLA_FUZZ_CXX_WORKS)
    set(probe_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz-probe)
    file(WRITE ${probe_dir}/probe.cpp
        "#include <cstddef>\n#include <cstdint>\n#include <source_location>\n"
        "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t)\n"
        "{ return static_cast<int>(std::source_location::current().line()) * 0; }\n")
    execute_process(
        COMMAND ${FRAMLA_FUZZ_CXX} -std=c++20 -fsanitize=fuzzer,address,undefined ${probe_dir}/probe.cpp
                -o ${probe_dir}/probe
        RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
    if(probe_result EQUAL 0)
        set(FRAMLA_FUZZ_CXX_WORKS ON CACHE INTERNAL "clang links libFuzzer programs")
    else()
        set(FRAMLA_FUZZ_CXX_WORKS OFF CACHE INTERNAL "clang links libFuzzer programs")
    endif()
endif()
if(NOT FRAMLA_FUZZ_CXX_WORKS)
    message(STATUS "Fuzz targets not built: no clang++ that compiles C++20 and links with "
                   "-fsanitize=fuzzer (Debian: clang-16 and libclang-rt-16-dev)")
    return()
endif()
message(STATUS "Fuzz targets built with ${FRAMLA_FUZZ_CXX} in ${PROJECT_BINARY_DIR}/fuzz")

include(ExternalProject)
set(fuzz_build ${PROJECT_BINARY_DIR}/fuzz)
ExternalProject_Add(framla_fuzz_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${fuzz_build}
    CMAKE_ARGS -DFRAMLA_FUZZ_BUILD=ON
               -DCMAKE_CXX_COMPILER=${FRAMLA_FUZZ_CXX}
               -DCMAKE_BUILD_TYPE=Fuzz
               -DCMAKE_EXPORT_COMPILE_COMMANDS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${fuzz_build} --target framla_fuzzers
    INSTALL_COMMAND ""
    # The inner build decides itself what is out of date.
    BUILD_ALWAYS ON)

file(GLOB fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
# The test command runs each target a fixed number of times from a fixed seed,
# so that a run in CI finds what a run here finds; tests/fuzz/run-long is for
# long runs. The slow targets (files written and read for every input) get
# fewer runs.
set(fuzz_runs_default 100000)
set(fuzz_runs_fuzz_settings_file 10000)
set(fuzz_runs_fuzz_command_lines 20000)
set(fuzz_runs_fuzz_framaid_args 4000)
set(fuzz_runs_fuzz_framaid_table 10000)
set(fuzz_runs_fuzz_picture_reader 5000)
foreach(source ${fuzz_sources})
    get_filename_component(name ${source} NAME_WE)
    if(DEFINED fuzz_runs_${name})
        set(runs ${fuzz_runs_${name}})
    else()
        set(runs ${fuzz_runs_default})
    endif()
    set(work ${PROJECT_BINARY_DIR}/fuzz-corpus-ctest/${name})
    file(MAKE_DIRECTORY ${work} ${PROJECT_BINARY_DIR}/fuzz-artifacts)
    # New inputs go to the first directory (the build's), never to the seeds;
    # a fresh build starts from the seeds alone.
    add_test(NAME fuzz.${name}
        COMMAND ${fuzz_build}/tests/fuzz/${name}
                -seed=1 -runs=${runs} -max_total_time=60 -timeout=20 -rss_limit_mb=2048
                -close_fd_mask=3 -print_final_stats=1
                -artifact_prefix=${PROJECT_BINARY_DIR}/fuzz-artifacts/${name}-
                ${work} ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
    set_tests_properties(fuzz.${name} PROPERTIES
        LABELS fuzz
        TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;UBSAN_OPTIONS=print_stacktrace=1")
endforeach()
