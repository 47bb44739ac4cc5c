# Takes the Linux side of the editor pixel-parity test: builds the Linux
# module and its capture tool in the Linux build and captures the editor on
# a display of its own (the wine session's display has the Windows suites'
# windows on it, which could cover the window being captured).
#   cmake -DLINUX_BUILD=<dir> -DOUT=<dir> -P EditorCaptureReference.cmake
if(NOT EXISTS "${LINUX_BUILD}/CMakeCache.txt")
  message(FATAL_ERROR "no Linux build in ${LINUX_BUILD}: configure it with 'cmake --preset linux' first")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${LINUX_BUILD}" --target valvora-editor-capture
                RESULT_VARIABLE built OUTPUT_QUIET)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building valvora-editor-capture in ${LINUX_BUILD} failed")
endif()
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp"
                        "${LINUX_BUILD}/bin/valvora-editor-capture" "${LINUX_BUILD}/bin/ValvoraQX70.so" "${OUT}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "capturing the Linux editor failed (${rc})")
endif()
