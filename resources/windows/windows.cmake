# Included where the program is defined: its Windows resources, the icon
# (the heart, rendered on the build machine), version information, manifest.
set(KANAROLL_ICO ${PROJECT_BINARY_DIR}/kanaroll.ico)
set(KANAROLL_MANIFEST ${PROJECT_BINARY_DIR}/kanaroll.manifest)
set(KANAROLL_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)
set(KANAROLL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kanaroll.manifest ${KANAROLL_MANIFEST} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/kanaroll.rc.in ${PROJECT_BINARY_DIR}/kanaroll.rc @ONLY)
add_custom_command(OUTPUT ${KANAROLL_ICO}
  COMMAND ${KANAROLL_PRERENDER} --ico ${KANAROLL_ICO}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/art/heart-16.svg ${PROJECT_SOURCE_DIR}/resources/art/heart-32.svg
  VERBATIM)
add_custom_target(kanaroll-ico DEPENDS ${KANAROLL_ICO})
add_dependencies(kanaroll kanaroll-ico)
set_source_files_properties(${PROJECT_BINARY_DIR}/kanaroll.rc PROPERTIES OBJECT_DEPENDS "${KANAROLL_ICO};${KANAROLL_MANIFEST}")
