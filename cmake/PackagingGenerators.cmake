# Read by cpack for each generator: the components that package carries.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${CPACK_SKELLAN_BUILD_DIR};Skellan;Programs;/"
      "${CPACK_SKELLAN_BUILD_DIR};Skellan;Deb;/")
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_SKELLAN_BUILD_DIR};Skellan;Zip;/")
endif()
