# Run by CPack on its staging folder before it packs: compresses the manual
# pages and the changelog with gzip -9n (no name or time stamp, so the
# package is reproducible).
file(GLOB_RECURSE zyr_man_pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
file(GLOB zyr_changelogs "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/*/changelog")
foreach(page IN LISTS zyr_man_pages zyr_changelogs)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed: ${status}")
  endif()
endforeach()
