# The kit as a host consumes it. Installs the built kit into a scratch prefix and moves the
# prefix elsewhere, so nothing may remember where it was installed; then, with no
# LD_LIBRARY_PATH anywhere:
# - a host that calls only foundation code, built by the compiler with the pkg-config
#   flags alone and linked with --as-needed, must get the kit's English text;
# - the same host through find_package(ZemAppKit) and ZEM::Kit, also with --as-needed;
# - every installed header compiles with the pkg-config flags;
# - the installed organiser runs from the prefix on its installed resources.
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR CXX CXX_FLAGS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} not set")
    endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/OrganiserRun.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(staged ${WORK_DIR}/staged)
set(prefix ${WORK_DIR}/moved/kit)
separate_arguments(san_flags UNIX_COMMAND "${CXX_FLAGS}")

function(run)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${ARGN}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "failed (${rc}): ${command}\n${out}\n${err}")
    endif()
    set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${staged})
file(MAKE_DIRECTORY ${WORK_DIR}/moved)
file(RENAME ${staged} ${prefix})
set(host_env HOME=${WORK_DIR}/home XDG_DATA_HOME=${WORK_DIR}/data XDG_CONFIG_HOME=${WORK_DIR}/config)

# pkg-config alone.
file(GLOB pcdir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pcdir} pkg-config --cflags --libs zemappkit)
separate_arguments(pc_flags UNIX_COMMAND "${LAST_OUTPUT}")
run(${CXX} -std=c++20 ${san_flags} -Wl,--as-needed ${SOURCE_DIR}/tests/install/host/main.cpp
    ${pc_flags} -o ${WORK_DIR}/pkgconfig_host)
run(${CMAKE_COMMAND} -E env ${host_env} ${WORK_DIR}/pkgconfig_host)

set(all ${WORK_DIR}/all_headers.cpp)
file(GLOB_RECURSE headers RELATIVE ${prefix}/include/zemappkit ${prefix}/include/zemappkit/*.h)
list(TRANSFORM headers REPLACE "(.+)" "#include <\\1>\n")
string(JOIN "" text ${headers})
file(WRITE ${all} "${text}")
run(${CXX} -std=c++20 -fsyntax-only ${all} ${pc_flags})

# The CMake package.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/host -B ${WORK_DIR}/cmake_host -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--as-needed ${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_host)
run(${CMAKE_COMMAND} -E env ${host_env} ${WORK_DIR}/cmake_host/install_host)

zem_check_organiser(${prefix}/bin/organiser ${WORK_DIR}/organiser)
