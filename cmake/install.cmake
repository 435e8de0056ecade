# install.cmake -- what `cmake --install` puts where, the icon drawn from the
# game's own art, and the Debian package that `cpack -G DEB` makes.
#
# The programs find their data in ../share/tavo from their own folder, so the
# layout is fixed here rather than taken from GNUInstallDirs.

set(TAVO_VERSION 0.1.0)

# Installing and packaging take what was built, and build nothing first: the
# tests package the tree they run in, while other tests use it.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(TAVO_DATA_DEST share/tavo)

install(TARGETS tavo tavo-tool RUNTIME DESTINATION bin)

install(FILES ${TAVO_GAME_DIR}/tavo.dat ${TAVO_GAME_DIR}/piece01.xm DESTINATION ${TAVO_DATA_DEST})
install(DIRECTORY ${TAVO_GAME_DIR}/textures DESTINATION ${TAVO_DATA_DEST}
        FILES_MATCHING PATTERN "*.pcx" PATTERN "*.bmp")

# The bundled lands and their solutions, named after their sources, so that
# lands saved into the game folder while playing from it stay behind.
file(GLOB tavo_land_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lands/*.land)
file(GLOB tavo_level_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lands/levels/*.land)
foreach(src IN LISTS tavo_land_sources tavo_level_sources)
  get_filename_component(name ${src} NAME_WE)
  get_filename_component(folder ${src} DIRECTORY)
  if(folder STREQUAL "${CMAKE_SOURCE_DIR}/lands/levels")
    set(sub levels/)
  else()
    set(sub "")
  endif()
  install(FILES ${TAVO_GAME_DIR}/${sub}${name}.lvl DESTINATION ${TAVO_DATA_DEST}/${sub})
  if(EXISTS ${CMAKE_SOURCE_DIR}/lands/solutions/${name}.tape)
    install(FILES ${TAVO_GAME_DIR}/${sub}${name}.tape DESTINATION ${TAVO_DATA_DEST}/${sub})
  endif()
endforeach()
install(FILES ${TAVO_GAME_DIR}/levels/set.txt DESTINATION ${TAVO_DATA_DEST}/levels)

# The icon: player 1's view of a diamond, drawn by the land tool at each size
# rather than scaled, so that the small one stays sharp.
set(TAVO_ICON_SIZES 48 128 256)
set(icon_dir ${CMAKE_BINARY_DIR}/icon)
set(icon_files)
set(icon_commands)
foreach(size IN LISTS TAVO_ICON_SIZES)
  list(APPEND icon_files ${icon_dir}/tavo-${size}.png)
  list(APPEND icon_commands COMMAND tavo-tool render ${icon_dir}/icon.lvl ${icon_dir}/tavo-${size}.png
       --size ${size}x${size})
endforeach()
add_custom_command(
  OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
  COMMAND tavo-tool build ${CMAKE_SOURCE_DIR}/dist/icon.land ${icon_dir}/icon.lvl
  ${icon_commands}
  DEPENDS tavo-tool ${CMAKE_SOURCE_DIR}/dist/icon.land ${TAVO_GAME_DIR}/tavo.dat
  WORKING_DIRECTORY ${TAVO_GAME_DIR}
  COMMENT "Drawing the icon"
  VERBATIM)
add_custom_target(tavo_icon ALL DEPENDS ${icon_files})
add_dependencies(tavo_icon game_data)
foreach(size IN LISTS TAVO_ICON_SIZES)
  install(FILES ${icon_dir}/tavo-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME tavo.png)
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/dist/tavo.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/docs/man/tavo.6 ${CMAKE_SOURCE_DIR}/docs/man/tavo-tool.6
        DESTINATION share/man/man6)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/tavo)

# ---- the Debian package ------------------------------------------------------

set(TAVO_PACKAGE_CONTACT "the tavo developers <tavo@localhost>" CACHE STRING
    "Maintainer of the Debian package")

set(CPACK_PACKAGE_NAME tavo)
set(CPACK_PACKAGE_VERSION ${TAVO_VERSION})
set(CPACK_PACKAGE_VENDOR "the tavo developers")
set(CPACK_PACKAGE_CONTACT ${TAVO_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time 3D puzzle game of falling rocks and diamonds")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The summary above is the first line of the package's description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Find your way through caverns, up ramps and off ledges, push rocks aside and
collect every diamond in the land, alone or with a friend on the same
keyboard, each in your own half of the screen. A built-in 3D editor digs
lands of your own; tavo-tool builds, checks and draws lands headless.")
# dpkg-shlibdeps reads the libraries the programs link and names their
# packages (liballegro4.4, libaldmb1, libdumb1, libloadpng4.4, libpng16-16,
# zlib1g, ...); without it (no dpkg-dev) the list is written out instead.
find_program(TAVO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAVO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "liballegro4.4, libaldmb1, libdumb1, libloadpng4.4, libpng16-16, zlib1g, libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
