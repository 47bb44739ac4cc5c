# Fixture of the package tests: CPack on the already-built tree (nothing is
# built again), the sums checked, each archive unpacked into an empty folder.
#   cmake -DBUILD=<build dir> -DOUT=<folder> -DNAME=<archive name> -DEXT=<.zip|.tar.gz> -P AssemblePackages.cmake
foreach(var BUILD OUT NAME EXT CPACK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "AssemblePackages.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/archives ${OUT}/user ${OUT}/debug)
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake -B ${OUT}/archives
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()

foreach(archive ${NAME}${EXT} ${NAME}-debug${EXT})
  set(path ${OUT}/archives/${archive})
  if(NOT EXISTS ${path} OR NOT EXISTS ${path}.sha256)
    message(FATAL_ERROR "cpack wrote no ${archive} with its .sha256 beside it:\n${output}")
  endif()
  # The sum file is what a download page shows: "<hex>  <archive name>".
  file(SHA256 ${path} actual)
  file(READ ${path}.sha256 listed)
  if(NOT listed STREQUAL "${actual}  ${archive}\n")
    message(FATAL_ERROR "${archive}.sha256 reads '${listed}', the archive's SHA-256 is ${actual}")
  endif()
  message(STATUS "${archive}: sha256 ${actual}")
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${OUT}/archives/${NAME}${EXT}
  WORKING_DIRECTORY ${OUT}/user RESULT_VARIABLE unpacked_user)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${OUT}/archives/${NAME}-debug${EXT}
  WORKING_DIRECTORY ${OUT}/debug RESULT_VARIABLE unpacked_debug)
if(NOT unpacked_user EQUAL 0 OR NOT unpacked_debug EQUAL 0)
  message(FATAL_ERROR "unpacking failed: ${unpacked_user} ${unpacked_debug}")
endif()
