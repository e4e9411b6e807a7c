# The browser build: the same run sequence and scene, with a display host over the page's script
# (web/page.js, an Emscripten library) and GL 1.x and GLU of our own over WebGL 1.
# QUINESPHERE_WEB_DIR receives the page, its script and its module, and nothing else, so that any
# static file server can serve it as it is.
set(QUINESPHERE_WEB_DIR ${CMAKE_BINARY_DIR}/web CACHE PATH "Where the page and its files go")

add_executable(quinesphere run/entry_web.cpp display/web_display.cpp web/fixed_function.cpp
               web/glu.cpp ${effect_sources})
set_target_properties(quinesphere PROPERTIES SUFFIX .js
                      RUNTIME_OUTPUT_DIRECTORY ${QUINESPHERE_WEB_DIR})
target_include_directories(quinesphere PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(quinesphere PRIVATE ${own_warnings} -Oz)
# The page's script stands in for Emscripten's HTML5 and GL libraries and drives Asyncify itself,
# so Emscripten's minimal runtime is enough. The page finds the run sequence through its export, by
# name, so export names stay as they are, and copies its code below the data, which GLOBAL_BASE
# moves up to make room.
target_link_options(quinesphere PRIVATE -Oz -sMINIMAL_RUNTIME -sENVIRONMENT=web -sMALLOC=none
  -sAUTO_JS_LIBRARIES=0 --js-library ${CMAKE_SOURCE_DIR}/web/page.js
  -sEXPORTED_FUNCTIONS=_main,__Z10run_effectv -sDECLARE_ASM_MODULE_EXPORTS=0 -sGLOBAL_BASE=2048
  -sSUPPORT_ERRNO=0 -sTEXTDECODER=2)
# Asyncify lets present_frame sleep until the next animation frame inside the run sequence's loop.
# Binaryen's pass is run here rather than by Emscripten, whose Asyncify brings its own JavaScript,
# malloc and free, none of which the page uses; only the calls that lead to the two sleeping
# imports are instrumented.
find_program(QUINESPHERE_WASM_OPT wasm-opt REQUIRED)
add_custom_command(TARGET quinesphere POST_BUILD
  COMMAND ${QUINESPHERE_WASM_OPT} ${QUINESPHERE_WEB_DIR}/quinesphere.wasm --asyncify
          --pass-arg=asyncify-imports@env.page_next_frame,env.page_sleep_for_good
          --pass-arg=asyncify-ignore-indirect -Oz -o ${QUINESPHERE_WEB_DIR}/quinesphere.wasm
  VERBATIM)
# Closure Compiler, which scripts/build installs from npm, shortens the page's script with
# Emscripten's runtime; without it the page works the same, only larger. It is told of the exports
# that Asyncify adds after the link, as the page's script finds them, and writes no syntax newer
# than the browsers that brought WebAssembly know.
find_program(QUINESPHERE_CLOSURE_COMPILER google-closure-compiler
             HINTS ${CMAKE_SOURCE_DIR}/build/npm/node_modules/.bin)
if(QUINESPHERE_CLOSURE_COMPILER)
  set(closure_arguments --externs=${CMAKE_SOURCE_DIR}/web/asyncify.externs.js
                        --language_out=ECMASCRIPT_2017)
  list(JOIN closure_arguments " " closure_arguments)
  target_link_options(quinesphere PRIVATE --closure 1)
  set_property(TARGET quinesphere PROPERTY CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
    EM_CLOSURE_COMPILER=${QUINESPHERE_CLOSURE_COMPILER} "EMCC_CLOSURE_ARGS=${closure_arguments}")
else()
  message(WARNING "No Closure Compiler (google-closure-compiler from npm): the page's script is "
                  "left longer, and the page larger; scripts/build installs it")
endif()
set_property(TARGET quinesphere APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/page.js
             ${CMAKE_SOURCE_DIR}/web/asyncify.externs.js)
# Copied again whenever it changes.
configure_file(web/index.html ${QUINESPHERE_WEB_DIR}/index.html COPYONLY)
