# The version has one home: the public header's EXPRCALC_VERSION ("1.1.0")
# and EXPRCALC_VERSION_NUMBER (1001000), which exprcalc_version() returns.
# The project, the SONAME's major number, the CMake package, the .pc file and
# the calculator take it from there; a header whose two macros disagree
# stops the configuration.

# Sets out_var to the header's version text after checking that the number
# is major * 1000000 + minor * 1000 + patch.
function(exprcalc_read_header_version header out_var)
  file(STRINGS "${header}" lines REGEX "^#define EXPRCALC_VERSION(_NUMBER)? ")
  set(text "")
  set(number "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#define EXPRCALC_VERSION \"([0-9]+)\\.([0-9]+)\\.([0-9]+)\"$")
      set(text "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
      math(EXPR expected "${CMAKE_MATCH_1} * 1000000 + ${CMAKE_MATCH_2} * 1000 + ${CMAKE_MATCH_3}")
    elseif(line MATCHES "^#define EXPRCALC_VERSION_NUMBER ([0-9]+)$")
      set(number "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(text STREQUAL "" OR number STREQUAL "")
    message(FATAL_ERROR "${header}: no EXPRCALC_VERSION \"MAJOR.MINOR.PATCH\" and EXPRCALC_VERSION_NUMBER")
  endif()
  if(NOT number EQUAL expected)
    message(FATAL_ERROR "${header}: EXPRCALC_VERSION_NUMBER ${number} does not match "
                        "EXPRCALC_VERSION \"${text}\" (expected ${expected})")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()
