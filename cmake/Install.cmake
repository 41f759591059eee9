# What `cmake --install` puts where, and the Debian package made from it
# (`cpack -G DEB` in the build folder).

include(GNUInstallDirs)

if(NOT WIN32)
  install(TARGETS qorlu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(QORLU_BUILD_GUI)
  install(TARGETS qorlu_unpacker qorlu_bitmapper qorlu_packer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # One menu entry per window, with its icon in the hicolor theme: the
  # 32 x 32 icon as drawn, and the same design at 128 x 128.
  set(QORLU_ICON_SIZES 32 128)
  set(icon_files "")
  foreach(program qorlu_unpacker qorlu_bitmapper qorlu_packer)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/${program}.desktop
      DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size ${QORLU_ICON_SIZES})
      set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/${program}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
        COMMAND render_icon ${program} ${size} ${png}
        DEPENDS render_icon
        COMMENT "Rendering the ${size}x${size} icon of ${program}")
      list(APPEND icon_files ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
  endforeach()
  add_custom_target(desktop_icons ALL DEPENDS ${icon_files})
endif()

if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

if(WIN32)
  # The Windows package is one folder: the program, this README and the
  # licence side by side (cpack -G ZIP).
  include(${CMAKE_CURRENT_LIST_DIR}/InstallWindows.cmake)
  return()
endif()

# The man page of `qorlu`, made from its --help and --version.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(man_page ${PROJECT_BINARY_DIR}/man/qorlu.1)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh ${PROJECT_SOURCE_DIR}/tools/make_manpage.sh ${HELP2MAN} $<TARGET_FILE:qorlu> ${man_page}
    DEPENDS qorlu ${PROJECT_SOURCE_DIR}/tools/make_manpage.sh
    COMMENT "Making the man page of qorlu")
  add_custom_target(man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: the man page of qorlu is neither made nor installed")
endif()

set(CPACK_PACKAGE_NAME qorlu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})  # all four parts, 1.0.0.1
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VENDOR "qorlu modding kit developers")
set(CPACK_PACKAGE_CONTACT "qorlu modding kit developers <qorlu@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "modding kit for the data of one CD game")
set(CPACK_PACKAGE_DESCRIPTION
  "Extracts the files of the game's disc image and writes edited ones back, turns its textures into bitmaps and back, and unpacks and repacks its zlib blocks: three windows and the command line program qorlu.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies are the libraries the installed programs link against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
