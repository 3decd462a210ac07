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
