# qorlu_windows_program(): a windowed program of the Windows build, a native
# dialog made from the dialog tables, with its icon, string 101, version and
# manifest compiled in as resources. Each program's own CMakeLists.txt calls
# it.

# Icon 128 as a .ico file, written by make_icon: one built for the build
# machine when QORLU_NATIVE_MAKE_ICON names it (the Linux build's
# tools/make_icon), else this build's, run under Wine.
set(QORLU_NATIVE_MAKE_ICON "" CACHE FILEPATH "A make_icon built for the build machine")
if(QORLU_NATIVE_MAKE_ICON)
  set(qorlu_icon_maker ${QORLU_NATIVE_MAKE_ICON})
else()
  set(qorlu_icon_maker make_icon)
endif()

function(qorlu_windows_program program)
  cmake_parse_arguments(ARG "" "STRING101" "SOURCES;LIBS" ${ARGN})
  set(dir ${PROJECT_BINARY_DIR}/resources/${program})
  set(QORLU_RC_ICON ${dir}/${program}.ico)
  set(QORLU_RC_STRING101 ${ARG_STRING101})
  set(QORLU_RC_MANIFEST ${PROJECT_SOURCE_DIR}/resources/program.manifest)
  set(QORLU_RC_PROGRAM ${program})
  configure_file(${PROJECT_SOURCE_DIR}/resources/program.rc.in ${dir}/${program}.rc @ONLY)
  string(REPLACE "qorlu_" "" short ${program})
  add_custom_command(OUTPUT ${QORLU_RC_ICON}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${qorlu_icon_maker} ${program} ${QORLU_RC_ICON}
    DEPENDS ${qorlu_icon_maker} ${PROJECT_SOURCE_DIR}/resources/${short}_icon.xpm
    COMMENT "Writing the icon of ${program}")
  set_source_files_properties(${dir}/${program}.rc PROPERTIES OBJECT_DEPENDS
    "${QORLU_RC_ICON};${QORLU_RC_MANIFEST}")
  add_executable(${program} WIN32 ${ARG_SOURCES} ${dir}/${program}.rc)
  target_link_libraries(${program} PRIVATE qorlu_ui_win32 ${ARG_LIBS})
  target_link_options(${program} PRIVATE -municode)
  # Beside qorlu.exe at the top of the build, as the ZIP holds them.
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()
