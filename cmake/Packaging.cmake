# What `cmake --install` puts where, and the packages CPack makes of it:
# a .deb in a native build (cpack -G DEB), a zip in a mingw-w64 build
# (cpack -G ZIP).
#
# Components: Programs (the two executables) and Docs (README, licence,
# manual pages as they are in the tree) make a plain install. Deb and Zip
# are left out of it; each holds what only its package carries, laid out as
# that package wants it.

set(skellan_package_dir ${CMAKE_BINARY_DIR}/package)
set(skellan_doc_dir share/doc/skellan)
set(skellan_man_pages ${CMAKE_SOURCE_DIR}/man/skellan.1 ${CMAKE_SOURCE_DIR}/man/skellan-server.1)

install(TARGETS skellan skellan-server RUNTIME DESTINATION bin COMPONENT Programs)

# A Windows user reads text files with CRLF line ends.
function(skellan_crlf_copy source destination)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

if(NOT WIN32)
  install(FILES ${skellan_man_pages} DESTINATION share/man/man1 COMPONENT Docs)
  install(FILES README.md LICENSE DESTINATION ${skellan_doc_dir} COMPONENT Docs)

  # Debian wants the manual pages and the changelog compressed, and the
  # licence in the copyright file.
  find_program(SKELLAN_GZIP gzip REQUIRED)
  set(deb_files)
  foreach(source ${skellan_man_pages} ${CMAKE_SOURCE_DIR}/packaging/debian/changelog)
    get_filename_component(name ${source} NAME)
    set(compressed ${skellan_package_dir}/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${skellan_package_dir}
      COMMAND ${SKELLAN_GZIP} -9 -n -c ${source} > ${compressed}
      DEPENDS ${source} VERBATIM)
    list(APPEND deb_files ${compressed})
  endforeach()
  add_custom_target(skellan_deb_files ALL DEPENDS ${deb_files})
  install(FILES ${skellan_package_dir}/skellan.1.gz ${skellan_package_dir}/skellan-server.1.gz
          DESTINATION share/man/man1 COMPONENT Deb EXCLUDE_FROM_ALL)
  install(FILES ${skellan_package_dir}/changelog.gz README.md
          DESTINATION ${skellan_doc_dir} COMPONENT Deb EXCLUDE_FROM_ALL)

  # The machine-readable copyright file: its header, then the licence text
  # as a License paragraph.
  file(READ ${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in copyright)
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
  string(REGEX REPLACE "^.*\n\n(Permission)" "\\1" licence "${licence}")
  string(REGEX REPLACE "\n$" "" licence "${licence}")
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  file(WRITE ${skellan_package_dir}/copyright "${copyright}\nLicense: Expat\n ${licence}\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in ${CMAKE_SOURCE_DIR}/LICENSE)
  install(FILES ${skellan_package_dir}/copyright DESTINATION ${skellan_doc_dir} COMPONENT Deb
          EXCLUDE_FROM_ALL)
else()
  # The static programs carry mingw-w64's runtime (winpthreads among it) and
  # GCC's runtime libraries: their notices come from the files Debian
  # installs with those compilers.
  string(REGEX REPLACE "^([^-]+)-.*$" "\\1" mingw_arch "${SKELLAN_MINGW_TRIPLET}")
  string(REPLACE "_" "-" mingw_arch "${mingw_arch}")
  set(notices
      "/usr/share/doc/mingw-w64-${mingw_arch}-dev/copyright:COPYING.mingw-w64.txt"
      "/usr/share/doc/gcc-mingw-w64-base/copyright:COPYING.gcc.txt")
  set(texts ${skellan_package_dir}/README.txt ${skellan_package_dir}/LICENSE.txt)
  skellan_crlf_copy(${CMAKE_SOURCE_DIR}/README.md ${skellan_package_dir}/README.txt)
  skellan_crlf_copy(${CMAKE_SOURCE_DIR}/LICENSE ${skellan_package_dir}/LICENSE.txt)
  foreach(notice ${notices})
    string(REGEX MATCH "^[^:]+" source "${notice}")
    string(REGEX REPLACE "^[^:]+:" "" name "${notice}")
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "${source} is missing: the mingw-w64 compilers' packages install it")
    endif()
    skellan_crlf_copy(${source} ${skellan_package_dir}/${name})
    list(APPEND texts ${skellan_package_dir}/${name})
  endforeach()
  install(FILES ${texts} DESTINATION ${skellan_doc_dir} COMPONENT Docs)

  # The zip holds everything side by side at its top.
  install(TARGETS skellan skellan-server RUNTIME DESTINATION . COMPONENT Zip EXCLUDE_FROM_ALL)
  install(FILES ${texts} DESTINATION . COMPONENT Zip EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME skellan)
set(CPACK_PACKAGE_VENDOR "The Skellan developers")
set(CPACK_PACKAGE_CONTACT
    "The Skellan developers <maintainers@users.noreply.c-seed-73944efc.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive console client for named pipes")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Skellan opens the client end of a named pipe that a server on the same
machine has created, sends each line typed at it as one message, and prints
every message the server sends while its prompt stays usable. On Linux a
pipe is a Unix domain socket named as .NET names pipes on Unix.
.
The package also holds skellan-server, a small pipe server for trying the
client.")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
endif()
# Which components a generator packs is chosen when cpack runs.
set(CPACK_SKELLAN_BUILD_DIR ${CMAKE_BINARY_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/PackagingGenerators.cmake)
include(CPack)
