# The browser build: the same run sequence and scene, with a display host over Emscripten's HTML5
# API and GL 1.x and GLU of our own over WebGL 1. QUINESPHERE_WEB_DIR receives the page, its
# script and its module, and nothing else, so that any static file server can serve it as it is.
set(QUINESPHERE_WEB_DIR ${CMAKE_BINARY_DIR}/web CACHE PATH "Where the page and its files go")

add_executable(quinesphere run/entry_web.cpp display/web_display.cpp web/fixed_function.cpp
               web/glu.cpp ${effect_sources})
set_target_properties(quinesphere PROPERTIES SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${QUINESPHERE_WEB_DIR})
target_include_directories(quinesphere PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(quinesphere PRIVATE ${own_warnings} -Oz)
# Asyncify lets present_frame sleep until the next animation frame inside the run sequence's loop.
# The page finds the run sequence through its export, by name, so export names stay as they are,
# and copies its code below the data, which GLOBAL_BASE moves up to make room. The rest leaves out
# what the effect does not use: errno, old browsers' text decoding, WebGL extensions, GL error
# tracking, and deferring full-screen requests, which the host makes while handling the event.
target_link_options(quinesphere PRIVATE -Oz -sASYNCIFY -sENVIRONMENT=web
  -sEXPORTED_FUNCTIONS=_main,__Z10run_effectv -sDECLARE_ASM_MODULE_EXPORTS=0 -sGLOBAL_BASE=2048
  -sMALLOC=emmalloc -sSUPPORT_ERRNO=0 -sTEXTDECODER=2 -sGL_EXTENSIONS_IN_PREFIXED_FORMAT=0
  -sGL_SUPPORT_AUTOMATIC_ENABLE_EXTENSIONS=0 -sGL_TRACK_ERRORS=0 -sGL_POOL_TEMP_BUFFERS=0
  -sHTML5_SUPPORT_DEFERRING_USER_SENSITIVE_REQUESTS=0)
# Copied again whenever it changes.
configure_file(web/index.html ${QUINESPHERE_WEB_DIR}/index.html COPYONLY)
