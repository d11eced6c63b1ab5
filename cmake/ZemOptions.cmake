# Warnings, sanitizers and compiler cache, kept on one INTERFACE target that every
# target of ours links PRIVATE, so none of it leaks into a host's build.
add_library(zem_options INTERFACE)
target_compile_options(zem_options INTERFACE -Wall -Wextra)
target_compile_definitions(zem_options INTERFACE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

set(_zem_san "")
if(ZEM_ENABLE_ASAN)
    list(APPEND _zem_san address)
endif()
if(ZEM_ENABLE_UBSAN)
    list(APPEND _zem_san undefined)
endif()
if(_zem_san)
    list(JOIN _zem_san "," _zem_san_list)
    # Sanitizers go on every target (libraries, tests, examples) so that the runtime is
    # loaded by the executable and shared libraries agree with it.
    add_compile_options(-fsanitize=${_zem_san_list} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_zem_san_list})
endif()

if(ZEM_USE_CCACHE)
    find_program(ZEM_CCACHE ccache)
    if(ZEM_CCACHE)
        # Precompiled headers change the compiler's input in ways ccache would otherwise
        # refuse to cache; base dir and no dir hash let clones in other folders share hits.
        set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
            "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
            "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}" CCACHE_NOHASHDIR=1
            ${ZEM_CCACHE})
        set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
endif()

# Adds the Qt headers every translation unit uses as a precompiled header.
function(zem_precompile target)
    target_precompile_headers(${target} PRIVATE
        <QtCore/QString> <QtCore/QVariant> <QtCore/QList> <QtCore/QHash>
        <QtCore/QObject> <QtCore/QDateTime> <QtCore/QPointer>)
endfunction()
