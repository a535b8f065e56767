# cmake -P script: installs the Development component of BUILD_DIR into
# PREFIX (afresh), builds CONSUMER_SOURCE against it in CONSUMER_BUILD and
# runs the consumer. Any step that fails fails the script with its output.
function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("== ${what}\n${out}${err}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${CONSUMER_BUILD})
step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --component Development)
foreach(required include/orbelt/orbelt.h include/orbelt/platform/Error.h lib/cmake/Orbelt/OrbeltConfig.cmake
                 lib/cmake/Orbelt/OrbeltConfigVersion.cmake)
  if(NOT EXISTS ${PREFIX}/${required})
    message(FATAL_ERROR "the installed tree has no ${required}")
  endif()
endforeach()
# Only the installed tree is on the search path: nothing of the source or
# build folder can stand in for a missing installed file.
set(configure ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${CONSUMER_BUILD} -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX})
if(LAUNCHER)
  list(APPEND configure -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
step("configure the consumer" ${configure})
step("build the consumer" ${CMAKE_COMMAND} --build ${CONSUMER_BUILD})
step("run the consumer" ${CONSUMER_BUILD}/consumer)
