# What a Linux build installs, and its packages: the player and demokit in
# bin/, the program's module that the player loads afresh for a run after a
# seek in lib/demo/ (where the player looks, from its own folder), the
# player's desktop entry and icon (PNG sizes rendered from the SVG
# at build time), man pages of both made from their --help (help2man), and in
# share/doc/demo the user's guide, the machine-readable copyright and the
# changelog. `cpack` makes a Debian package and a .tar.gz of the same tree;
# the .tar.gz adds a README naming the packages it needs and a script that
# puts the unpacked player into the desktop's menu. Both take the package
# list from one file that dpkg-shlibdeps computes from the built programs.
include(GNUInstallDirs)

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(user_guide ${PROJECT_SOURCE_DIR}/docs/user-guide.md)

include(${PROJECT_SOURCE_DIR}/cmake/Hardening.cmake)
demo_harden_program(demo)
demo_harden_program(demokit)
install(TARGETS demo demokit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS demo_program LIBRARY DESTINATION lib/demo)
install(FILES ${packaging_dir}/demo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${user_guide} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.md)
install(FILES ${packaging_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What lintian is told to leave, each with its reason.
install(FILES ${packaging_dir}/lintian/demo DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

# The changelog, compressed as Debian keeps it.
add_custom_command(OUTPUT ${packaging_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}
  COMMAND gzip -9nc ${packaging_dir}/changelog > ${packaging_out}/changelog.gz
  DEPENDS ${packaging_dir}/changelog
  COMMENT "The changelog, compressed")
add_custom_target(changelog ALL DEPENDS ${packaging_out}/changelog.gz)
install(FILES ${packaging_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The icon in the sizes desktop environments look for, and scalable.
set(icon_svg ${packaging_dir}/icons/demo.svg)
set(icon_root ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${icon_svg} DESTINATION ${icon_root}/scalable/apps)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(icon_pngs)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${packaging_out}/icons/${size}/demo.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/icons/${size}
      COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${icon_svg}
      DEPENDS ${icon_svg}
      COMMENT "The icon at ${size} x ${size}"
      VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${icon_root}/${size}x${size}/apps)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${icon_pngs})
else()
  message(STATUS "rsvg-convert not found: the icon only as SVG (scripts/setup.sh installs it)")
endif()

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

# The packages the programs need, computed once from the built programs.
set(depends_file ${packaging_out}/depends.txt)
add_custom_command(OUTPUT ${depends_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}
  COMMAND ${packaging_dir}/debian-depends.sh ${depends_file} $<TARGET_FILE:demo> $<TARGET_FILE:demokit>
  DEPENDS demo demokit ${packaging_dir}/debian-depends.sh
  COMMENT "The Debian packages the programs need (dpkg-shlibdeps)"
  VERBATIM)

# What only the .tar.gz holds at its top: its README (a preface naming those
# packages, then the user's guide) and the desktop entry's registration.
set(tarball_dir ${packaging_out}/tarball)
add_custom_command(OUTPUT ${tarball_dir}/README.md ${tarball_dir}/register-desktop-entry.sh
  COMMAND ${CMAKE_COMMAND} -DPREFACE=${packaging_dir}/tarball/README.md.in -DGUIDE=${user_guide}
          -DOUTPUT=${tarball_dir}/README.md -DVERSION=${PROJECT_VERSION} -DARCH=${CMAKE_SYSTEM_PROCESSOR}
          -DDEPENDS_FILE=${depends_file} -P ${PROJECT_SOURCE_DIR}/cmake/compose_readme.cmake
  COMMAND ${CMAKE_COMMAND} -E copy ${packaging_dir}/tarball/register-desktop-entry.sh ${tarball_dir}/
  DEPENDS ${depends_file} ${packaging_dir}/tarball/README.md.in ${user_guide}
          ${packaging_dir}/tarball/register-desktop-entry.sh ${PROJECT_SOURCE_DIR}/cmake/compose_readme.cmake
  COMMENT "The .tar.gz's README and desktop entry registration"
  VERBATIM)
add_custom_target(package_files ALL DEPENDS ${depends_file} ${tarball_dir}/README.md)

set(CPACK_PACKAGE_NAME demo)
set(CPACK_PACKAGE_VENDOR "the demo's developers")
set(CPACK_PACKAGE_CONTACT "the demo's developers <maintainers@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time 3D demo: a procedural world flown through")
# The extended description, wrapped for dpkg (CPack puts the summary above it
# and indents each line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A real-time 3D demo of about 82 seconds: grids, cubes, Bezier patches,
subdivided meshes and a wall of cubes spelling a long message, all
generated at start-up from a few hundred bytes and flown through on
animation curves.
.
The player (demo) draws it full screen through OpenGL, or on the
processor where there is no graphics driver. demokit records it to PNG
files or video (H.264, HEVC, VP9, AV1 or lossless FFV1), measures its
frame rates and prints what it generates.")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # demo_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Depends is depends.txt's line, set when cpack runs (below).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
# The OpenGL device needs a driver (without one the player draws on the
# CPU); the line over the picture a font (without one only the title says it).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri, libegl-mesa0, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.invalid/demo")
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
# Read by cpack for each generator: the .deb's Depends, the .tar.gz's extras.
set(CPACK_PROJECT_CONFIG_FILE ${packaging_out}/cpack_per_generator.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "\
if(NOT EXISTS \"${depends_file}\")
  message(FATAL_ERROR \"${depends_file} is missing: build the project before running cpack\")
endif()
if(CPACK_GENERATOR STREQUAL \"DEB\")
  file(STRINGS \"${depends_file}\" CPACK_DEBIAN_PACKAGE_DEPENDS LIMIT_COUNT 1)
elseif(CPACK_GENERATOR STREQUAL \"TGZ\")
  set(CPACK_INSTALLED_DIRECTORIES \"${tarball_dir};.\")
endif()
")
include(CPack)
