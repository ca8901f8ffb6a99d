# Renders the first SECONDS of the score with the optimised tool and with an
# unoptimised build of the same sources, and fails unless the two images are
# byte for byte the same: the synthesiser must not depend on what the
# optimiser does with its floating point.
foreach(var OPTIMISED UNOPTIMISED SECONDS OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "soundtrack_compare: ${var} is not set")
  endif()
endforeach()
set(a ${OUT}/soundtrack-optimised.wav)
set(b ${OUT}/soundtrack-unoptimised.wav)
foreach(pair "${OPTIMISED};${a}" "${UNOPTIMISED};${b}")
  list(GET pair 0 tool)
  list(GET pair 1 image)
  execute_process(COMMAND ${tool} --seconds ${SECONDS} ${image} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "soundtrack_compare: ${tool} failed (${rc})")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${a} ${b} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "soundtrack_compare: the optimised and unoptimised renders differ")
endif()
message(STATUS "soundtrack_compare: the same bytes from both builds")
