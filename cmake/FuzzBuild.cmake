# The fuzz build (FRAMLA_FUZZ_BUILD=ON, started by cmake/Fuzzing.cmake with
# clang): the libraries the fuzz targets test, instrumented for libFuzzer and
# built with the address and undefined-behaviour sanitizers, and the targets
# of tests/fuzz/. Nothing else of the project is built here.
set(framla_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
# Build type "Fuzz" (set by cmake/Fuzzing.cmake) adds no flags of its own.
add_compile_options(-O1 -gline-tables-only ${framla_sanitizers} -fsanitize=fuzzer-no-link)
add_link_options(${framla_sanitizers})

add_subdirectory(framaid)

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network)
qt_standard_project_setup()
add_compile_definitions(QT_NO_FOREACH)
add_subdirectory(core)
add_subdirectory(runtime)
add_subdirectory(ui)
add_subdirectory(server)
add_subdirectory(history)
add_subdirectory(config)
add_subdirectory(imaging)
add_subdirectory(tests/fuzz)
