# The rule of what may run beside what (DEVELOPERS.md, "Tests side by side"),
# checked over every test CTest knows in BUILD: a test runs alone
# (RUN_SERIAL), holds a lock (RESOURCE_LOCK: "cpu", or what it shares), or
# is an end-to-end test listed in tests/CMakeLists.txt as one that may
# overlap. A test program discovered without the lock would otherwise run
# beside everything.
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --show-only=json-v1 WORKING_DIRECTORY ${BUILD}
  OUTPUT_VARIABLE json RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest --show-only in ${BUILD} failed (${status})")
endif()
string(JSON count LENGTH "${json}" tests)
set(unguarded "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON name GET "${json}" tests ${i} name)
  string(JSON properties ERROR_VARIABLE none LENGTH "${json}" tests ${i} properties)
  set(guarded FALSE)
  if(NOT none AND properties GREATER 0)
    math(EXPR lastProperty "${properties} - 1")
    foreach(p RANGE ${lastProperty})
      string(JSON property GET "${json}" tests ${i} properties ${p} name)
      string(JSON value GET "${json}" tests ${i} properties ${p} value)
      if((property STREQUAL "RUN_SERIAL" AND value) OR property STREQUAL "RESOURCE_LOCK" OR
         (property STREQUAL "LABELS" AND value MATCHES "e2e"))
        set(guarded TRUE)
      endif()
    endforeach()
  endif()
  if(NOT guarded)
    list(APPEND unguarded "${name}")
  endif()
endforeach()
list(LENGTH unguarded n)
if(n GREATER 0)
  list(JOIN unguarded "\n  " names)
  message(FATAL_ERROR "${n} of ${count} tests neither run alone nor hold a lock; they would "
    "run beside any other (give them \${ostrel_cpu_test} or RUN_SERIAL):\n  ${names}")
endif()
message("${count} tests: each runs alone, holds a lock or is a listed end-to-end test")
