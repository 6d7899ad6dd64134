# Warnings are errors for every target of ours. Third-party headers come in through imported
# targets, whose include folders CMake marks as system folders, so they do not trip these.
option(VISTREL_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)

add_compile_options(-Wall -Wextra -Wpedantic)
if(VISTREL_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
endif()
