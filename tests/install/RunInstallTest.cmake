# Installs the built kit into a scratch prefix, then builds the example organiser against
# it as a stranger would (find_package(ZemAppKit)), runs it, and checks the pkg-config file.
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR CXX_FLAGS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} not set")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
    set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/organiser -B ${WORK_DIR}/consumer -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen HOME=${WORK_DIR}/home
    XDG_DATA_HOME=${WORK_DIR}/data XDG_CONFIG_HOME=${WORK_DIR}/config
    LD_LIBRARY_PATH=${prefix}/lib
    ${WORK_DIR}/consumer/organiser)
if(NOT LAST_OUTPUT MATCHES "Delete Alert:" OR NOT LAST_OUTPUT MATCHES "Saved 4 sample tasks"
   OR NOT LAST_OUTPUT MATCHES "Anna Maria Berg" OR NOT LAST_OUTPUT MATCHES "Renew passport")
    message(FATAL_ERROR "organiser built against the installed kit printed:\n${LAST_OUTPUT}")
endif()

file(GLOB pcdir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
run(${CMAKE_COMMAND} -E env "PKG_CONFIG_PATH=${pcdir}" pkg-config --cflags --libs zemappkit)
if(NOT LAST_OUTPUT MATCHES "-lzemappkit")
    message(FATAL_ERROR "pkg-config gave: ${LAST_OUTPUT}")
endif()
