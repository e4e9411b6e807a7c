# The browser build: the same run sequence and scene, with a display host over Emscripten's HTML5
# API and GL 1.x and GLU of our own over WebGL 1. QUINESPHERE_WEB_DIR receives the page, its
# script and its module, and nothing else, so that any static file server can serve it as it is.
set(QUINESPHERE_WEB_DIR ${CMAKE_BINARY_DIR}/web CACHE PATH "Where the page and its files go")

add_executable(quinesphere run/entry_web.cpp display/web_display.cpp web/fixed_function.cpp
               web/glu.cpp ${effect_sources})
set_target_properties(quinesphere PROPERTIES SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${QUINESPHERE_WEB_DIR})
target_include_directories(quinesphere PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(quinesphere PRIVATE ${own_warnings} -O2)
# The code texture finds the run sequence through its export; the page copies its code below the
# data, which starts at GLOBAL_BASE.
target_link_options(quinesphere PRIVATE -O2 -sASYNCIFY -sENVIRONMENT=web -sGLOBAL_BASE=2048
  -sEXPORTED_FUNCTIONS=_main,__Z10run_effectv -sDECLARE_ASM_MODULE_EXPORTS=0)
add_custom_command(TARGET quinesphere POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/web/index.html ${QUINESPHERE_WEB_DIR}/
  VERBATIM)
