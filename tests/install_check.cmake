# Installs the build into a scratch prefix and runs the installed programs from there.
# Variables: BUILD_DIR, PREFIX, VERSION.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()
execute_process(COMMAND "${PREFIX}/bin/tolmera" --version RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "^tolmera ${VERSION} \\(built ")
  message(FATAL_ERROR "installed tolmera --version gave ${status}: ${out}")
endif()
execute_process(COMMAND "${PREFIX}/bin/tolmera-sim" --help RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "^tolmera-sim: ")
  message(FATAL_ERROR "installed tolmera-sim --help gave ${status}: ${out}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
