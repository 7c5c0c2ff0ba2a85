# The locale calls of src/text/char_width_posix.cpp, as the system has them:
# where there is an <xlocale.h> (macOS), they are declared there; where there
# is no uselocale (NetBSD), a width is asked with wcwidth_l instead. Shared by
# the game's build and the fuzz targets' build.
include(CheckIncludeFileCXX)
include(CheckCXXSymbolExists)

function(vormi_locale_checks target)
  check_include_file_cxx(xlocale.h VORMI_HAVE_XLOCALE_H)
  if(VORMI_HAVE_XLOCALE_H)
    check_cxx_symbol_exists(uselocale "locale.h;xlocale.h" VORMI_HAVE_USELOCALE)
  else()
    check_cxx_symbol_exists(uselocale locale.h VORMI_HAVE_USELOCALE)
  endif()
  foreach(have IN ITEMS XLOCALE_H USELOCALE)
    if(VORMI_HAVE_${have})
      target_compile_definitions(${target} PRIVATE VORMI_HAVE_${have}=1)
    endif()
  endforeach()
endfunction()
