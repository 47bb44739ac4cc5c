# Renders the Linux side of the Windows parity test: the demo DI input and
# its renders through programs 0, 6 and 10 by the native module, as 32-bit
# float WAV files. Brings the Linux build's module and tool up to date first,
# so the reference always comes from the same sources as the DLL under test.
#   cmake -DLINUX_BUILD=<dir> -DOUT=<dir> -P ParityReference.cmake
if(NOT EXISTS "${LINUX_BUILD}/CMakeCache.txt")
  message(FATAL_ERROR "no Linux build in ${LINUX_BUILD}: configure it with 'cmake --preset linux' "
                      "(or set VALVORA_LINUX_BUILD_DIR) before running the win64 suite")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${LINUX_BUILD}" --target valvora-render
                RESULT_VARIABLE built OUTPUT_QUIET)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building valvora-render in ${LINUX_BUILD} failed")
endif()

set(render "${LINUX_BUILD}/bin/valvora-render")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND "${render}" --demo-input "${OUT}/dry.wav" --format float RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "valvora-render --demo-input failed (${rc})")
endif()
foreach(program 0 6 10)
  execute_process(COMMAND "${render}" --program ${program} --format float "${OUT}/dry.wav" "${OUT}/linux-${program}.wav"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "valvora-render --program ${program} failed (${rc})")
  endif()
endforeach()
