# reclink_internal_library(<name> <sources>...)
# A static, position-independent piece of libreclink.so. Tests link these pieces
# directly; applications link the shared library.
function(reclink_internal_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)
  # The pieces are compiled as part of the shared library, so exported symbols
  # are declared for export, not import.
  target_compile_definitions(${name} PRIVATE reclink_EXPORTS)
endfunction()

# reclink_internal_link(<name> <layers>...)
# The layers below <name>. Whole archives, so that every exported symbol of a
# layer reaches libreclink.so whether or not a layer above uses it.
function(reclink_internal_link name)
  foreach(layer ${ARGN})
    target_link_libraries(${name} PUBLIC "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layer}>")
  endforeach()
endfunction()

# reclink_public_library(<name> <BASE> <content variable>)
# One of the two shared libraries programs link: its export header
# (include/reclink/<name>_export.h, <BASE>_EXPORT, with the text of the named
# variable added) and the public headers where builds and installs find them.
function(reclink_public_library name base content)
  generate_export_header(${name}
    BASE_NAME ${base}
    EXPORT_FILE_NAME ${PROJECT_BINARY_DIR}/include/reclink/${name}_export.h
    CUSTOM_CONTENT_FROM_VARIABLE ${content})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()
