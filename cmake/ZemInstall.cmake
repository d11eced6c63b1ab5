# Install rules: libraries, public headers, a CMake package (find_package(ZemAppKit)
# giving ZEM::Foundation and ZEM::Kit) and a pkg-config file, all relocatable: nothing
# installed names the prefix. The example organiser installs itself (examples/organiser).
include(CMakePackageConfigHelpers)

set(ZEM_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZemAppKit)

# The libraries find each other in their own folder wherever the prefix is moved.
set_target_properties(zemfoundation zemappkit PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS zemfoundation zemappkit zemappkit_host EXPORT ZemAppKitTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemappkit)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemappkit
    FILES_MATCHING PATTERN "*.h"
    PATTERN "*_p.h" EXCLUDE
    PATTERN "detail" EXCLUDE
    PATTERN "resources" EXCLUDE)
install(FILES
    ${PROJECT_BINARY_DIR}/src/include/zem_foundation_export.h
    ${PROJECT_BINARY_DIR}/src/include/zem_appkit_export.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zemappkit)

install(EXPORT ZemAppKitTargets NAMESPACE ZEM:: DESTINATION ${ZEM_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZemAppKitConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZemAppKitConfig.cmake
    INSTALL_DESTINATION ${ZEM_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZemAppKitConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZemAppKitConfig.cmake
    ${PROJECT_BINARY_DIR}/ZemAppKitConfigVersion.cmake
    DESTINATION ${ZEM_INSTALL_CMAKEDIR})

# The prefix as seen from the pkg-config folder ("../.." for lib/pkgconfig).
file(RELATIVE_PATH ZEM_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" ZEM_PC_PREFIX_FROM_PCDIR "${ZEM_PC_PREFIX_FROM_PCDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zemappkit.pc.in
    ${PROJECT_BINARY_DIR}/zemappkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zemappkit.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
