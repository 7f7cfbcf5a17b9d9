# Helpers shared by every directory of the tree.

# camtools_add_resources(target file.rc): compiles a resource script into the target.
# MinGW's windres goes through CMake's RC language; Winelib's wrc writes a .res that
# winegcc links like an object.
function(camtools_add_resources target rc)
  get_filename_component(rc_abs "${rc}" ABSOLUTE)
  if(CAMTOOLS_BUILD STREQUAL "mingw")
    target_sources(${target} PRIVATE "${rc_abs}")
  elseif(CAMTOOLS_BUILD STREQUAL "winelib")
    get_filename_component(rc_name "${rc}" NAME_WE)
    get_filename_component(rc_dir "${rc_abs}" DIRECTORY)
    set(res "${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}.res")
    # wrc reads the #include'd headers itself; list them so edits rebuild the .res.
    file(GLOB rc_deps "${rc_dir}/*.h" "${rc_dir}/*.ico" "${rc_dir}/*.bmp")
    add_custom_command(OUTPUT "${res}"
      COMMAND wrc --nostdinc -I "${rc_dir}" -I /usr/include/wine/wine/windows
              -DUNICODE -o "${res}" "${rc_abs}"
      DEPENDS "${rc_abs}" ${rc_deps}
      COMMENT "Compiling resources ${rc}")
    target_sources(${target} PRIVATE "${res}")
    set_source_files_properties("${res}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  endif()
endfunction()

# camtools_add_gtest(name sources... LIBS libs...): a native GoogleTest program registered with CTest.
function(camtools_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endfunction()
