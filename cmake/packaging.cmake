# What users download, named with the project's version (scripts/make-dist
# runs it all: make dist).
#
# Windows: the zip of one korvo.dll build, with a sample Korvo.ini and
# INSTALL.txt (both CRLF), the three files at the zip's top (CPack ZIP).
#
# Linux: the install rules serve `make install` (cmake --install), the
# tarball (the same tree with install.sh, CPack TGZ) and the Debian package
# (CPack DEB):
#   bin/korvo-host            runs lib/korvo/korvo-host with the plug-in of
#                             the user's Korvo folder (packaging/korvo-host.sh)
#   bin/korvo-setup           makes the user's Korvo folder, ~/.config/korvo/
#   lib/korvo/                the plug-in, korvo-host, the Conky module and
#                             korvo.lua, which find each other side by side
#   share/korvo/              the samples korvo-setup copies
#   share/doc/korvo/          README.md
#
# Installing and packing take the files as built: make dist builds just the
# targets installed, never the tests, which are part of "all".
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(KORVO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KORVO_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package)

set(CPACK_PACKAGE_NAME korvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvo developers")
set(CPACK_PACKAGE_CONTACT "Korvo developers <korvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "news-feed reader plug-in for desktop meter hosts and Conky")

if(WIN32)
  configure_file(${KORVO_PACKAGING_DIR}/Korvo.ini ${KORVO_PACKAGE_STAGE}/Korvo.ini @ONLY NEWLINE_STYLE CRLF)
  configure_file(${KORVO_PACKAGING_DIR}/INSTALL.txt.in ${KORVO_PACKAGE_STAGE}/INSTALL.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(TARGETS korvo RUNTIME DESTINATION .)
  install(FILES ${KORVO_PACKAGE_STAGE}/Korvo.ini ${KORVO_PACKAGE_STAGE}/INSTALL.txt DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KORVO_PACKAGE_ARCH x64)
  else()
    set(KORVO_PACKAGE_ARCH x86)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME korvo-${PROJECT_VERSION}-windows-${KORVO_PACKAGE_ARCH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS korvo LIBRARY DESTINATION lib/korvo)
  install(TARGETS korvo-host RUNTIME DESTINATION lib/korvo)
  install(TARGETS korvo_conky LIBRARY DESTINATION lib/korvo)
  install(FILES tools/conky/korvo.lua DESTINATION lib/korvo)
  install(PROGRAMS ${KORVO_PACKAGING_DIR}/korvo-host.sh DESTINATION bin RENAME korvo-host)
  install(PROGRAMS ${KORVO_PACKAGING_DIR}/korvo-setup DESTINATION bin)
  install(FILES ${KORVO_PACKAGING_DIR}/Korvo.ini ${KORVO_PACKAGING_DIR}/host.ini
                ${KORVO_PACKAGING_DIR}/korvo.conkyrc
          DESTINATION share/korvo)
  install(FILES README.md DESTINATION share/doc/korvo)
  # The tarball and the .deb carry stripped files (the link of korvo.dll
  # strips it already, so the zips hold the DLL as built).
  set(CPACK_STRIP_FILES ON)
  # The tarball (cpack -G TGZ): the tree above in one top folder, and
  # beside it its own installer.
  configure_file(${KORVO_PACKAGING_DIR}/install.sh ${KORVO_PACKAGE_STAGE}/tarball/install.sh @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(KORVO_TARBALL_NAME korvo-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  file(CONFIGURE OUTPUT ${KORVO_PACKAGE_STAGE}/cpack-options.cmake CONTENT [[
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_PACKAGE_FILE_NAME "@KORVO_TARBALL_NAME@")
  set(CPACK_INSTALLED_DIRECTORIES "@KORVO_PACKAGE_STAGE@/tarball;.")
endif()
]] @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${KORVO_PACKAGE_STAGE}/cpack-options.cmake)

  # The Debian package (cpack -G DEB), installed under /usr.
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  # The libraries' packages come from dpkg-shlibdeps; Conky only runs the
  # module, and xdg-utils opens a clicked link.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "conky-std | conky-all | conky-cli, xdg-utils")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Korvo reads RSS and Atom feeds over http:// and https:// and shows their
titles and headlines in desktop meters: in Conky through its Lua module,
and in korvo-host, a small host for the terminal. Each user runs
korvo-setup once: it makes ~/.config/korvo/ with the news sites
(Korvo.ini), the meters (host.ini) and a Conky configuration.")
endif()

include(CPack)
