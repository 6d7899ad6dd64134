# Fails when any C++ file of ours is not formatted as .clang-format says.
file(GLOB_RECURSE sources
     "${SOURCE_DIR}/src/*.cpp" "${SOURCE_DIR}/src/*.h"
     "${SOURCE_DIR}/tests/*.cpp" "${SOURCE_DIR}/tests/*.h"
     "${SOURCE_DIR}/bench/*.cpp" "${SOURCE_DIR}/bench/*.h"
     "${SOURCE_DIR}/tools/*.cpp" "${SOURCE_DIR}/tools/*.h")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources}
                WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "clang-format: some files need formatting (run clang-format -i)")
endif()
