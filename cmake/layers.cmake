# SPDX-License-Identifier: MIT
# The core is built as one static library per layer: base -> rules ->
# convert, index -> app. Each layer sees the headers of itself and of the
# layers it names in DEPENDS, and no others: its include path is a folder
# holding only links to those layers' source folders. A wrong include
# (convert/ including app/, say) therefore fails the build, and
# `cmake --graphviz` draws the layering.
#
#   loomwise_layer(convert SOURCES convert/a.cpp ... DEPENDS base)
function(loomwise_layer name)
  cmake_parse_arguments(LAYER "" "" "SOURCES;DEPENDS;PUBLIC_LIBRARIES;PRIVATE_LIBRARIES" ${ARGN})
  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${name} ${view}/${name} SYMBOLIC)
  list(TRANSFORM LAYER_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ REGEX "^[^/]")
  add_library(${name} STATIC ${LAYER_SOURCES})
  target_include_directories(${name} PUBLIC ${view})
  target_link_libraries(${name} PUBLIC ${LAYER_DEPENDS} ${LAYER_PUBLIC_LIBRARIES}
                        PRIVATE ${LAYER_PRIVATE_LIBRARIES})
  # Everything the core is made of, for builds of it with other flags (fuzz/).
  set_property(GLOBAL APPEND PROPERTY LOOMWISE_CORE_SOURCES ${LAYER_SOURCES})
  set_property(GLOBAL APPEND PROPERTY LOOMWISE_CORE_LIBRARIES
               ${LAYER_PUBLIC_LIBRARIES} ${LAYER_PRIVATE_LIBRARIES})
endfunction()
