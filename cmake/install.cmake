# `cmake --install`: the quorvel command, the static libraries with their headers, a CMake
# package, so that another project writes find_package(Quorvel) and links Quorvel::quorvel, and
# the ready label layouts that a shop imports with `quorvel import` with the JSON Schema of their
# format; the man page and bash completion are installed with the command (src/cli).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(quorvel_lib INTERFACE)
set_target_properties(quorvel_lib PROPERTIES EXPORT_NAME quorvel)
target_link_libraries(quorvel_lib INTERFACE quorvel_tools quorvel_service quorvel_store)
add_library(Quorvel::quorvel ALIAS quorvel_lib)

install(TARGETS quorvel_lib quorvel_tools quorvel_rules quorvel_service quorvel_store EXPORT QuorvelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(dir store service tools)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel
          FILES_MATCHING PATTERN "*.h")
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/layouts/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel/layouts
        FILES_MATCHING PATTERN "*.json")
install(FILES ${PROJECT_SOURCE_DIR}/schema/rules.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)
install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${config_dir})
# The options are plain ON/OFF in the generated file's if().
set(QUORVEL_WITH_SQLITE ${QUORVEL_WITH_SQLITE})
set(QUORVEL_WITH_ODBC ${QUORVEL_WITH_ODBC})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvelConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake ${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
        DESTINATION ${config_dir})
