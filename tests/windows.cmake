# GoogleTest and libvterm for a Windows build, compiled from their sources with
# the target's compiler (a cross build cannot use the host's libraries):
# GoogleTest from Debian's googletest package, libvterm from the source tree
# that scripts/test-windows.sh fetches. Defines the targets the tests link
# (GTest::gtest, GTest::gmock, GTest::gtest_main, PkgConfig::VTERM) and sets
# GTest_FOUND and VTERM_FOUND when both sources are there.
set(VORMI_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
set(VORMI_LIBVTERM_SOURCE "" CACHE PATH "libvterm's source tree (include/vterm.h, src/*.c)")

# Their code is theirs: built without this project's warnings-as-errors.
get_directory_property(vormi_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")

if(EXISTS ${VORMI_GOOGLETEST_SOURCE}/CMakeLists.txt)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VORMI_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
  set(GTest_FOUND ON)
endif()

if(EXISTS ${VORMI_LIBVTERM_SOURCE}/include/vterm.h)
  enable_language(C)
  file(GLOB vterm_sources ${VORMI_LIBVTERM_SOURCE}/src/*.c)
  add_library(vterm STATIC ${vterm_sources})
  target_include_directories(vterm PUBLIC ${VORMI_LIBVTERM_SOURCE}/include)
  set_target_properties(vterm PROPERTIES C_STANDARD 99)
  target_compile_options(vterm PRIVATE -w)  # nothing of its warnings is ours to fix
  add_library(PkgConfig::VTERM ALIAS vterm)
  set(VTERM_FOUND ON)
endif()

set_directory_properties(PROPERTIES COMPILE_OPTIONS "${vormi_options}")
if(VORMI_REQUIRE_TESTS AND NOT (GTest_FOUND AND VTERM_FOUND))
  message(FATAL_ERROR "the Windows tests need GoogleTest's sources (googletest) in "
    "VORMI_GOOGLETEST_SOURCE and libvterm's in VORMI_LIBVTERM_SOURCE")
endif()
