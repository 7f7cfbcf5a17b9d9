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
    file(GLOB rc_deps "${rc_dir}/*.h" "${rc_dir}/*.ico" "${rc_dir}/icons/*.ico" "${rc_dir}/*.bmp")
    add_custom_command(OUTPUT "${res}"
      COMMAND wrc --nostdinc -I "${rc_dir}" -I /usr/include/wine/wine/windows
              -DUNICODE -o "${res}" "${rc_abs}"
      DEPENDS "${rc_abs}" ${rc_deps}
      COMMENT "Compiling resources ${rc}")
    target_sources(${target} PRIVATE "${res}")
    set_source_files_properties("${res}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  endif()
endfunction()

# camtools_add_program_info(target DESCRIPTION text): gives a program its version resource
# (product name, description, the project's version) and its application manifest (common
# controls 6, requestedExecutionLevel asInvoker, per-monitor DPI awareness, the supported
# systems), from common/program_info.
function(camtools_add_program_info target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  set(PROGRAM_NAME ${target})
  set(PROGRAM_DESCRIPTION "${ARG_DESCRIPTION}")
  set(PROGRAM_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(PROGRAM_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(PROGRAM_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  set(info_dir "${PROJECT_SOURCE_DIR}/common/program_info")
  configure_file("${info_dir}/program.manifest.in" "${PROGRAM_MANIFEST}" @ONLY)
  configure_file("${info_dir}/program_info.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}_info.rc" @ONLY)
  camtools_add_resources(${target} "${CMAKE_CURRENT_BINARY_DIR}/${target}_info.rc")
  # The resource compilers read the manifest themselves, found beside the generated script.
  target_include_directories(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}")
  set_property(SOURCE "${CMAKE_CURRENT_BINARY_DIR}/${target}_info.rc" APPEND PROPERTY OBJECT_DEPENDS "${PROGRAM_MANIFEST}")
endfunction()

# camtools_add_gtest(name sources... LIBS libs...): a native GoogleTest program registered with CTest.
# The fuzz build defines the programs (other directories add to them) but neither builds nor
# runs them: its tests are the fuzz targets.
function(camtools_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(CAMTOOLS_FUZZ)
    add_executable(${name} EXCLUDE_FROM_ALL ${ARG_UNPARSED_ARGUMENTS})
  else()
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT CAMTOOLS_FUZZ)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# Wine-level tests. Every test of a Win32 build runs under Wine in the build tree's own prefix,
# which the fixture `wineprefix` creates (registering the simulated camera's filter) before
# the first such test and shuts down after the last.
set(CAMTOOLS_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(CAMTOOLS_SCRIPTS "${CMAKE_SOURCE_DIR}/scripts")

# camtools_wine_fixture(DLLS dll-targets...): call once, in the top-level directory.
function(camtools_wine_fixture)
  cmake_parse_arguments(ARG "" "" "DLLS" ${ARGN})
  set(dll_files)
  foreach(dll IN LISTS ARG_DLLS)
    list(APPEND dll_files "$<TARGET_FILE:${dll}>")
  endforeach()
  add_test(NAME wineprefix.init
           COMMAND "${CAMTOOLS_SCRIPTS}/wine-prefix" init "${CAMTOOLS_WINEPREFIX}" ${dll_files})
  set_tests_properties(wineprefix.init PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300)
  add_test(NAME wineprefix.stop
           COMMAND "${CAMTOOLS_SCRIPTS}/wine-prefix" stop "${CAMTOOLS_WINEPREFIX}")
  set_tests_properties(wineprefix.stop PROPERTIES FIXTURES_CLEANUP wineprefix)
endfunction()

# camtools_add_wine_test(name TARGET exe-target [TIMEOUT s] [DPI n] [ARGS args...]
# [ENV var=value...]): runs a Windows program of this build under Wine as one CTest test; it
# passes when the program exits 0. ENV sets environment variables for it (Unix paths are
# fine: the programs turn them into Windows paths). Every test sees CAMSIM_DLL, the simulated
# camera's DLL of this build. DPI runs it in a prefix of its own whose screen has that DPI
# (LogPixels; 144 is 150%), made by the fixture wineprefix_dpiN before its first test.
function(camtools_add_wine_test name)
  cmake_parse_arguments(ARG "" "TARGET;TIMEOUT;DPI" "ARGS;ENV" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(prefix "${CAMTOOLS_WINEPREFIX}")
  set(fixture wineprefix)
  if(ARG_DPI)
    set(prefix "${CAMTOOLS_WINEPREFIX}-dpi${ARG_DPI}")
    set(fixture wineprefix_dpi${ARG_DPI})
    if(NOT TEST ${fixture}.init)
      add_test(NAME ${fixture}.init
               COMMAND "${CAMTOOLS_SCRIPTS}/wine-prefix" init "${prefix}" --dpi ${ARG_DPI}
                       "$<TARGET_FILE:camsim>")
      set_tests_properties(${fixture}.init PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 300
                           RESOURCE_LOCK ${fixture})
      add_test(NAME ${fixture}.stop COMMAND "${CAMTOOLS_SCRIPTS}/wine-prefix" stop "${prefix}")
      set_tests_properties(${fixture}.stop PROPERTIES FIXTURES_CLEANUP ${fixture}
                           RESOURCE_LOCK ${fixture})
    endif()
  endif()
  add_test(NAME ${name}
           COMMAND "${CAMTOOLS_SCRIPTS}/wine-run" "${prefix}" ${ARG_TIMEOUT}
                   "$<TARGET_FILE:${ARG_TARGET}>" ${ARG_ARGS})
  math(EXPR ctest_timeout "${ARG_TIMEOUT} + 30")
  set(environment "CAMSIM_DLL=$<TARGET_FILE:camsim>" ${ARG_ENV})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${fixture} TIMEOUT ${ctest_timeout}
                       RESOURCE_LOCK ${fixture}
                       ENVIRONMENT "${environment}")
endfunction()
