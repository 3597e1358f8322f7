# Third-party libraries built from the sources scripts/setup.sh fetches from Debian's archive.
foreach(dir IN ITEMS "${ZERVA_IMGUI_DIR}" "${ZERVA_MINIZIP_DIR}")
  if(NOT EXISTS "${dir}")
    message(FATAL_ERROR "${dir} is missing: run scripts/setup.sh first")
  endif()
endforeach()

add_library(imgui STATIC
  ${ZERVA_IMGUI_DIR}/imgui.cpp
  ${ZERVA_IMGUI_DIR}/imgui_draw.cpp
  ${ZERVA_IMGUI_DIR}/imgui_tables.cpp
  ${ZERVA_IMGUI_DIR}/imgui_widgets.cpp
  ${ZERVA_IMGUI_DIR}/backends/imgui_impl_win32.cpp
  ${ZERVA_IMGUI_DIR}/backends/imgui_impl_dx11.cpp
  ${CMAKE_SOURCE_DIR}/ui/imgui_hooks.cpp)
target_include_directories(imgui SYSTEM PUBLIC ${ZERVA_IMGUI_DIR} ${ZERVA_IMGUI_DIR}/backends)
target_include_directories(imgui PUBLIC ${CMAKE_SOURCE_DIR})
# Our configuration (item hooks, assertion routing) must reach every file that includes imgui.h,
# so it is public; the hooks it declares are compiled into this library.
target_compile_definitions(imgui PUBLIC IMGUI_DISABLE_OBSOLETE_FUNCTIONS
  IMGUI_USER_CONFIG="ui/imgui_config.h")
target_link_libraries(imgui PUBLIC d3d11 dxgi d3dcompiler dwmapi gdi32 imm32)

add_library(minizip STATIC
  ${ZERVA_MINIZIP_DIR}/unzip.c
  ${ZERVA_MINIZIP_DIR}/ioapi.c
  ${ZERVA_MINIZIP_DIR}/iowin32.c)
target_include_directories(minizip SYSTEM PUBLIC ${ZERVA_MINIZIP_DIR})
target_compile_definitions(minizip PUBLIC NOCRYPT NOUNCRYPT)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
