# The portable part of the render host: loading the module, driving the
# effect, block rendering, parameter binding and the built-in DI performance.
# Shared by valvora-render (Linux) and the Windows parity host in tests/tools.
if(NOT TARGET valvora_render_core)
  set(_render_dir ${CMAKE_CURRENT_LIST_DIR})
  add_library(valvora_render_core STATIC
    ${_render_dir}/PluginHost.cpp
    ${_render_dir}/BlockRenderer.cpp
    ${_render_dir}/ParameterBinding.cpp
    ${_render_dir}/PluckedString.cpp
    ${_render_dir}/DemoPerformance.cpp
    ${_render_dir}/SignalStats.cpp
    ${_render_dir}/SimpleWav.cpp)
  target_include_directories(valvora_render_core PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(valvora_render_core PUBLIC valvora_platform PRIVATE valvora_warnings)
endif()
