# Compiles small probes with each layer's view of the source tree (the
# include folders the build gives that layer's targets): an include of a
# higher layer must not compile, an include of the layer itself must.
#   cmake -DCXX=compiler -DINCLUDE=build/include -DOUT=folder -P layering_check.cmake
function(probe view header expect)
  file(WRITE ${OUT}/layering_probe.cpp "#include \"${header}\"\n")
  execute_process(
    COMMAND ${CXX} -std=c++17 -fsyntax-only -I${INCLUDE}/${view} ${OUT}/layering_probe.cpp
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(expect STREQUAL "compiles" AND NOT result EQUAL 0)
    message(FATAL_ERROR "layering: ${header} does not compile in the ${view} layer")
  elseif(expect STREQUAL "refused" AND result EQUAL 0)
    message(FATAL_ERROR "layering: the ${view} layer can include ${header}")
  endif()
endfunction()

probe(sync sync/sync.h compiles)
probe(sync render/uniforms.h refused)
probe(sync host/loop.h refused)
probe(render render/uniforms.h compiles)
probe(render host/show.h refused)
probe(host host/show.h compiles)
probe(host tools/common/options.h refused)
message(STATUS "layering: each layer sees only itself and the layers below")
