# Run by CPack after the install into its staging folder, before packing.
# Folders the install made took the builder's umask (mkdir obeys it, and
# CMake's default folder permissions cannot widen it); Debian wants 0755.
# Files get their modes from the install rules.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
  message(FATAL_ERROR "no staging folder '${CPACK_TEMPORARY_INSTALL_DIRECTORY}'")
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
