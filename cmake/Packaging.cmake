# What a Linux build installs, and its packages: the player and demokit in
# bin/, the player's desktop entry, man pages of both made from their --help
# at build time (help2man), the README and the licence notices in
# share/doc/demo. `cpack` makes a Debian package (its dependencies computed
# from the binaries by dpkg-shlibdeps) and a .tar.gz of the same tree.
include(GNUInstallDirs)

install(TARGETS demo demokit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/demo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES README.md packaging/NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Man pages from the programs' own --help and --version, compressed as
# Debian keeps them.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(man_pages)
  foreach(program demo demokit)
    if(program STREQUAL demo)
      set(summary "play the demo full screen")
    else()
      set(summary "inspect, record and measure the demo")
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1 --name "${summary}"
              --output ${CMAKE_BINARY_DIR}/man/${program}.1 $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${program}.1
      DEPENDS ${program}
      COMMENT "The ${program} man page from its --help"
      VERBATIM)
    list(APPEND man_pages ${page})
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man pages (scripts/setup.sh installs it)")
endif()

set(CPACK_PACKAGE_NAME demo)
set(CPACK_PACKAGE_VENDOR "the demo's developers")
set(CPACK_PACKAGE_CONTACT "the demo's developers <maintainers@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "The player (demo) draws the demo full screen through OpenGL, or on the CPU where there is no GPU; demokit records it to images or video, measures it and inspects what it builds.")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # demo_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The OpenGL device needs a driver; without one the player draws on the CPU.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, libegl-mesa0")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.invalid/demo")
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
