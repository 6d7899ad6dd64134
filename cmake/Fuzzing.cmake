# -DVISTREL_FUZZ=ON (clang only) builds everything with libFuzzer's coverage instrumentation,
# AddressSanitizer and UndefinedBehaviorSanitizer, and links the fuzz targets of fuzz/ with
# libFuzzer. scripts/fuzz makes such a build; without the option the targets are replay
# programs.
option(VISTREL_FUZZ "Build the fuzz targets with libFuzzer (needs clang)" OFF)

if(VISTREL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VISTREL_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
    endif()
    if(VISTREL_SANITIZE)
        message(FATAL_ERROR "VISTREL_FUZZ brings its own sanitizers; leave VISTREL_SANITIZE off")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
