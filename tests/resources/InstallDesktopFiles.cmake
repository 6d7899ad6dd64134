# Installs the "desktop" component of BUILD_DIR into PREFIX, which is emptied first so that no
# file of an earlier run can make a check pass.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component desktop
                        --prefix "${PREFIX}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install of the desktop component failed")
endif()
