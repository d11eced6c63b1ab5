# Each folder of the kit compiles against an include root that holds only the folders it may
# use. This checks that root from both sides: an allowed header compiles, a header of every
# other folder does not, and no source climbs out of its folder with "../".
#   -DCXX=... -DLAYER_ROOT=<build>/src/layers -DSOURCE_DIR=<src> -DFOLDERS=a;b -DUSES_<f>=a,b
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE _sources ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(src IN LISTS _sources)
    file(STRINGS ${src} _climb REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
    if(_climb)
        message(SEND_ERROR "${src} includes outside its folder: ${_climb}")
    endif()
endforeach()

set(_work ${CMAKE_CURRENT_BINARY_DIR}/layer-check)
file(MAKE_DIRECTORY ${_work})
set(_failures 0)
foreach(folder IN LISTS FOLDERS)
    string(REPLACE "," ";" _uses "${USES_${folder}}")
    set(_allowed foundation ${folder} ${_uses})
    foreach(other foundation ${FOLDERS})
        # Any header of the other folder stands for all of them.
        file(GLOB _headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${other}/*.h)
        list(GET _headers 0 _header)
        # The compiler's own search, without parsing the header and all of Qt behind it.
        file(WRITE ${_work}/probe.cpp "#if !__has_include(\"${_header}\")\n#error\n#endif\n")
        execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${LAYER_ROOT}/${folder}
                                ${_work}/probe.cpp
                        RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
        list(FIND _allowed ${other} _may)
        if(_may GREATER_EQUAL 0 AND NOT _rc EQUAL 0)
            message(SEND_ERROR "${folder}/ cannot include ${_header}, which it may use")
            math(EXPR _failures "${_failures} + 1")
        elseif(_may LESS 0 AND _rc EQUAL 0)
            message(SEND_ERROR "${folder}/ can include ${_header}, a folder above it")
            math(EXPR _failures "${_failures} + 1")
        endif()
    endforeach()
endforeach()
if(_failures GREATER 0)
    message(FATAL_ERROR "${_failures} wrong layer boundaries")
endif()
message(STATUS "checked ${FOLDERS}")
