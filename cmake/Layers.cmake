# What each folder of the product may include, besides its own headers.
# A folder's headers are "folder/Name.h"; a folder not named here (tests,
# benchmarks, fuzzers, tools) may include anything. Only folders whose name
# ends in /qt may include Qt.
#
#   folder            holds                                      may use
set(QORLU_LAYERS
  "base"            # messages, text rules, version               -
  "format"          # byte order, the checked reader              -
  "io:base"         # the durable file layer
  "resources:base"  # dialog tables, strings, icons
  "ui:base,resources" # window rules no toolkit owns
  "disc:base,format,io"
  "archive:base,format,io,disc"
  "texture:base,format,io"
  "packer:base,format,io"
  "unpacker:base,format,io,disc,archive,resources,ui"
  "texture/window:base,io,texture,resources,ui"
  "packer/window:base,io,packer,resources,ui"
  "ui/qt:base,io,resources,ui"
  "ui/win32:base,io,resources,ui"
  "unpacker/qt:base,format,io,disc,archive,resources,ui,unpacker,ui/qt"
  "unpacker/win32:base,format,io,disc,archive,resources,ui,unpacker,ui/win32"
  "texture/qt:base,io,texture,texture/window,resources,ui,ui/qt"
  "texture/win32:base,io,texture,texture/window,resources,ui,ui/win32"
  "packer/qt:base,io,packer,packer/window,resources,ui,ui/qt"
  "packer/win32:base,io,packer,packer/window,resources,ui,ui/win32"
  "cli:base,format,io,disc,archive,texture,packer"
)

# The check runs before the first library is compiled and again whenever a
# source file of a checked folder changes; a forbidden include stops the build.
set(qorlu_layer_sources "")
foreach(layer IN LISTS QORLU_LAYERS)
  string(REGEX REPLACE ":.*" "" folder "${layer}")
  file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp
    ${PROJECT_SOURCE_DIR}/${folder}/*.inl)
  list(APPEND qorlu_layer_sources ${found})
endforeach()
string(REPLACE ";" "|" qorlu_layers_arg "${QORLU_LAYERS}")
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/layers.checked
  COMMAND ${CMAKE_COMMAND} "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}" "-DLAYERS=${qorlu_layers_arg}"
          "-DSTAMP=${PROJECT_BINARY_DIR}/layers.checked" -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
  DEPENDS ${qorlu_layer_sources} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake ${PROJECT_SOURCE_DIR}/cmake/Layers.cmake
  COMMENT "Checking what each folder includes"
  VERBATIM)
add_custom_target(qorlu_layers DEPENDS ${PROJECT_BINARY_DIR}/layers.checked)

# A folder's two front ends: qt/ when the Qt windows are built, win32/ in a
# Windows build.
macro(qorlu_add_front_ends)
  if(QORLU_BUILD_GUI)
    add_subdirectory(qt)
  endif()
  if(WIN32)
    add_subdirectory(win32)
  endif()
endmacro()
