# Runs "zyrsat -h" and compares its output byte for byte with the expected
# help text; the run must end with status 0.
execute_process(COMMAND ${ZYRSAT} -h
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "zyrsat -h ended with status ${rc}: ${err}")
endif()
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/zyrsat_help.actual "${out}")
  message(FATAL_ERROR "zyrsat -h differs from ${EXPECTED}; got ${CMAKE_CURRENT_BINARY_DIR}/zyrsat_help.actual")
endif()
