# The release archives, what a user downloads. `cpack` in a build folder (or
# `cpack --preset <release preset>`) writes two archives: the user's (the
# stripped module, the install text, the licence) and a -debug one holding
# the module's debug information, kept for reading crash reports. Each gets
# its SHA-256 sum beside it.

if(WIN32)
  set(valvora_package_platform win64)
  set(valvora_package_generator ZIP)
else()
  set(valvora_package_platform linux-x86_64)
  set(valvora_package_generator TGZ)
endif()
set(VALVORA_PACKAGE_NAME "ValvoraQX70-${PROJECT_VERSION}-${valvora_package_platform}")
set(VALVORA_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
file(MAKE_DIRECTORY ${VALVORA_RELEASE_DIR})

if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "No objcopy for this toolchain: the release module cannot be stripped")
endif()

# valvora_release_module(TARGET t FILE name DESTINATION dir): the target's
# module stripped into release/<dir>/<name> (installed in the user archive)
# and its debug information into release/<dir>/<name>.debug (installed in
# the debug archive). The stripped module names its debug file by a GNU
# debuglink (file name and CRC), which debuggers and crash tools follow.
function(valvora_release_module)
  cmake_parse_arguments(R "" "TARGET;FILE;DESTINATION" "" ${ARGN})
  set(dir ${VALVORA_RELEASE_DIR}/${R_DESTINATION})
  set(stripped ${dir}/${R_FILE})
  file(MAKE_DIRECTORY ${dir})
  # objcopy writes a PE header's time stamp anew, from SOURCE_DATE_EPOCH when
  # set, else from the clock: give it the commit's date.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VALVORA_BUILD_EPOCH} ${CMAKE_OBJCOPY})
  add_custom_command(OUTPUT ${stripped} ${stripped}.debug
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${R_TARGET}> ${R_FILE}.debug
    COMMAND ${objcopy} --strip-debug --strip-unneeded --add-gnu-debuglink=${R_FILE}.debug
            $<TARGET_FILE:${R_TARGET}> ${R_FILE}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${R_TARGET}
    COMMENT "Stripping ${R_FILE}; its debug information goes to ${R_FILE}.debug"
    VERBATIM)
  add_custom_target(${R_TARGET}_release ALL DEPENDS ${stripped} ${stripped}.debug)
  install(FILES ${stripped} DESTINATION ${R_DESTINATION} COMPONENT plugin
    PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  install(FILES ${stripped}.debug DESTINATION ${R_DESTINATION} COMPONENT debug)
endfunction()

if(WIN32)
  valvora_release_module(TARGET ValvoraQX70 FILE ValvoraQX70.dll DESTINATION .)
else()
  valvora_release_module(TARGET ValvoraQX70 FILE ValvoraQX70.so DESTINATION .)
endif()

# The LV2 bundle, once its target exists: the plug-in's and the UI's
# binaries stripped like the VST module, the bundle's descriptions beside them.
if(TARGET ValvoraQX70_lv2)
  foreach(lv2_target ValvoraQX70_lv2 ValvoraQX70_lv2_ui)
    # The bundle's manifest names each binary as its target builds it
    # (no prefix, the platform's module suffix).
    valvora_release_module(TARGET ${lv2_target} FILE ${lv2_target}${CMAKE_SHARED_MODULE_SUFFIX}
      DESTINATION ValvoraQX70.lv2)
  endforeach()
  install(DIRECTORY $<TARGET_FILE_DIR:ValvoraQX70_lv2>/ DESTINATION ValvoraQX70.lv2 COMPONENT plugin
    FILES_MATCHING PATTERN "*.ttl")
endif()

# The texts, with Windows line ends in the Windows archive.
if(WIN32)
  set(text_newlines CRLF)
else()
  set(text_newlines UNIX)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL-${valvora_package_platform}.txt
  ${VALVORA_RELEASE_DIR}/texts/INSTALL.txt @ONLY NEWLINE_STYLE ${text_newlines})
configure_file(${PROJECT_SOURCE_DIR}/packaging/LICENSE.txt
  ${VALVORA_RELEASE_DIR}/texts/LICENSE.txt @ONLY NEWLINE_STYLE ${text_newlines})
install(FILES ${VALVORA_RELEASE_DIR}/texts/INSTALL.txt ${VALVORA_RELEASE_DIR}/texts/LICENSE.txt
  DESTINATION . COMPONENT plugin)
install(FILES ${VALVORA_RELEASE_DIR}/texts/LICENSE.txt DESTINATION . COMPONENT debug)

set(CPACK_PACKAGE_NAME ValvoraQX70)
set(CPACK_PACKAGE_VENDOR Kelmo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Also the folder each archive unpacks into: the debug archive unpacked over
# the user's folder puts the debug files beside the modules that name them.
set(CPACK_PACKAGE_FILE_NAME ${VALVORA_PACKAGE_NAME})
set(CPACK_GENERATOR ${valvora_package_generator})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# One archive per component; each unpacks into a folder named like itself.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin debug)
set(CPACK_ARCHIVE_PLUGIN_FILE_NAME ${VALVORA_PACKAGE_NAME})
set(CPACK_ARCHIVE_DEBUG_FILE_NAME ${VALVORA_PACKAGE_NAME}-debug)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
