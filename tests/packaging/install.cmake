# Installs the build into a fresh prefix and starts the installed console
# from an empty folder on the offscreen platform, with the tool bar probe
# loaded into it through the environment that CTest sets.
#   cmake -D BUILD_DIR=<build> -D WORK_DIR=<scratch folder> -D BINDIR=bin -P install.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(empty ${WORK_DIR}/empty)
file(MAKE_DIRECTORY ${empty})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# The folder on PATH holds the program alone.
file(GLOB on_path RELATIVE ${prefix}/${BINDIR} ${prefix}/${BINDIR}/*)
if(NOT on_path STREQUAL "norvex")
    message(FATAL_ERROR "${BINDIR}/ holds \"${on_path}\", not the program alone")
endif()

execute_process(COMMAND ${prefix}/${BINDIR}/norvex
                WORKING_DIRECTORY ${empty}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output
                TIMEOUT 120)
message("${output}")
string(TOLOWER "${output}" output)
if(output MATCHES "cannot open")
    message(FATAL_ERROR "the installed console could not open a file")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the installed console ended with ${result}")
endif()
