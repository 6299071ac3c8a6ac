# The archive that `cpack` (or the `package` target) makes in the build folder:
# the files that `cmake --install` lays out, at the archive's top, so that it
# unpacks straight into the folder of the program that starts ours:
#
#     tar -xzf ConexionTulvaOskel-<version>-Linux-<machine>.tar.gz -C /folder/of/the/caller
#
# What goes in is decided by the install() rules (app/CMakeLists.txt): the
# program and its engine module, nothing of the tests, the tools or the benchmarks.
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The debugging information stays in the build tree; a user's copy has no use for it.
set(CPACK_STRIP_FILES ON)
# Only the binary archive: a source package of this tree would sweep up the build folders.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
