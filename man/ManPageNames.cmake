# exprcalc_man_page_names(PAGE OUT): the names a section-3 page documents, as
# its NAME section lists them before "\-" (for exprcalc.3 the page's own name
# first, then the fourteen classic functions). The install rule writes a page
# for every other name that points man to PAGE, and the test ManPagesNameEveryExport
# holds these lists to the export list.
function(exprcalc_man_page_names page out)
  file(STRINGS "${page}" lines)
  set(names "")
  set(in_name OFF)
  foreach(line IN LISTS lines)
    if(line STREQUAL ".SH NAME")
      set(in_name ON)
    elseif(in_name)
      string(FIND "${line}" "\\-" dash)
      if(NOT dash EQUAL -1)
        string(SUBSTRING "${line}" 0 ${dash} line)
      endif()
      string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" found "${line}")
      list(APPEND names ${found})
      if(NOT dash EQUAL -1)
        break()
      endif()
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()
