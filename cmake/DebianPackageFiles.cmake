# Run by cpack on the package's staging folder before it is packed: what Debian asks of a
# package beyond what `cmake --install` puts in place. Manual pages are compressed with
# gzip -9n (no name or time stamp, so the same build makes the same package), and the
# package carries its copyright file in /usr/share/doc/<package>.
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

file(GLOB pages "${usr}/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${page}: ${result}")
  endif()
endforeach()

file(COPY "${CPACK_TORVINEL_COPYRIGHT}" DESTINATION "${usr}/share/doc/${CPACK_PACKAGE_NAME}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
