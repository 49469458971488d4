# The program's string table and embedded binaries: tools/embed_resources turns
# resources/strings.txt and resources/binaries.txt into one generated source that
# padwright_embed_resources() adds to a target. Formats: resources/README.md.

set(PADWRIGHT_RESOURCES_DIR "${CMAKE_CURRENT_LIST_DIR}/../resources")
cmake_path(NORMAL_PATH PADWRIGHT_RESOURCES_DIR)

add_executable(padwright_embed_resources "${PROJECT_SOURCE_DIR}/tools/embed_resources.cpp")
set_target_properties(padwright_embed_resources PROPERTIES
  OUTPUT_NAME embed_resources
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tools")
# A host tool run during the build: no sanitizer or fuzzer instrumentation from the
# tree-wide options, so it stays fast on megabytes of input and runs in every tree.
set_property(TARGET padwright_embed_resources PROPERTY COMPILE_OPTIONS -Wall -Wextra -Wpedantic)
set_property(TARGET padwright_embed_resources PROPERTY LINK_OPTIONS "")

# padwright_embed_resources(target): generate resources_data.cpp and add it to target.
function(padwright_embed_resources target)
  set(strings "${PADWRIGHT_RESOURCES_DIR}/strings.txt")
  set(binaries "${PADWRIGHT_RESOURCES_DIR}/binaries.txt")
  set(output "${CMAKE_BINARY_DIR}/generated/resources_data.cpp")

  # Every listed file is a dependency, so editing one rebuilds; a new line in the
  # manifest reconfigures to pick the new file up.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${binaries}")
  set(listed "")
  file(STRINGS "${binaries}" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    endif()
    string(REGEX MATCHALL "[^ \t]+" fields "${line}")
    list(LENGTH fields count)
    if(count EQUAL 3)
      list(GET fields 2 path)
      cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY "${PADWRIGHT_RESOURCES_DIR}")
      list(APPEND listed "${path}")
    endif()
    # Malformed lines are left to the generator, which names file and line.
  endforeach()

  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/generated")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND padwright_embed_resources --strings "${strings}" --binaries "${binaries}" --output "${output}"
    DEPENDS padwright_embed_resources "${strings}" "${binaries}" ${listed}
    COMMENT "Embedding resources (strings.txt, binaries.txt)"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  # Generated literals are long by design.
  set_source_files_properties("${output}" PROPERTIES COMPILE_OPTIONS -Wno-overlength-strings)
endfunction()

# The resource tests run the generator on their own fixtures and compare the embedded
# images with the files; they learn both places from these definitions. Deferred to
# the end of the top-level configure, when the test target exists.
function(_padwright_resources_wire_tests)
  if(TARGET platform_tests)
    target_compile_definitions(platform_tests PRIVATE
      "PADWRIGHT_EMBED_TOOL=\"$<TARGET_FILE:padwright_embed_resources>\""
      "PADWRIGHT_RESOURCES_DIR=\"${PADWRIGHT_RESOURCES_DIR}\"")
    add_dependencies(platform_tests padwright_embed_resources)
  endif()
endfunction()
cmake_language(DEFER CALL _padwright_resources_wire_tests)
