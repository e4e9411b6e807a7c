# The Windows executable, size-coded: no C runtime, a GUI-subsystem program entered at entry(),
# laid out by a linker script of ours. quinesphere-symbols.exe keeps the symbols for inspection;
# quinesphere.exe is the same image stripped.
set(tiny_flags -Os -flto -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-stack-protector -fno-ident -ffunction-sections -fno-tree-loop-distribute-patterns)
# 32-bit x86 symbols carry a leading underscore.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(entry_symbol _entry)
else()
  set(entry_symbol entry)
endif()

# TARGET makes quinesphere-symbols SUFFIX and, stripped, quinesphere SUFFIX, from the effect's
# sources and the given entry and display host.
function(add_size_coded_program target suffix)
  add_executable(${target} ${ARGN} display/wgl_context.cpp ${effect_sources})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME quinesphere-symbols SUFFIX ${suffix}
                        LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/tiny-pe.ld)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${own_warnings} ${tiny_flags})
  # No relocations: the image always loads at its preferred base.
  target_link_options(${target} PRIVATE ${tiny_flags} -nostdlib -mwindows
    -Wl,-e,${entry_symbol} -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/tiny-pe.ld -Wl,--gc-sections
    -Wl,--disable-dynamicbase -Wl,--disable-reloc-section)
  target_link_libraries(${target} PRIVATE kernel32 user32 gdi32 opengl32 glu32)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${target}>
            ${CMAKE_BINARY_DIR}/quinesphere${suffix}
    BYPRODUCTS ${CMAKE_BINARY_DIR}/quinesphere${suffix}
    VERBATIM)
endfunction()

add_size_coded_program(quinesphere .exe run/entry_win32.cpp display/win32_display.cpp)
# The screensaver: the same run and scene in a host that takes the command line Windows starts a
# screensaver with.
add_size_coded_program(quinesphere-scr .scr run/entry_win32_saver.cpp
                       display/win32_saver_display.cpp)

# Test helper, run under Wine beside the effect; an ordinary console program.
add_executable(win_probe tests/win_probe.cpp)
set_target_properties(win_probe PROPERTIES SUFFIX .exe)
target_compile_options(win_probe PRIVATE ${own_warnings})
target_link_options(win_probe PRIVATE -static)

# Test helper: a glu32.dll that makes no quadric, loaded by Wine in place of its own. Kept out of
# the executable's directory, where Wine would load it for every run.
add_library(glu32_stub SHARED tests/glu32_stub.cpp)
set_target_properties(glu32_stub PROPERTIES OUTPUT_NAME glu32 PREFIX ""
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/failing-glu)
target_compile_options(glu32_stub PRIVATE ${own_warnings} -fno-exceptions)
# Undecorated names, as the real glu32.dll exports them.
target_link_options(glu32_stub PRIVATE -static -Wl,--kill-at)

# Test helper: a window standing in for the screensaver preview's parent; a console program.
add_executable(win_preview_host tests/win_preview_host.cpp)
set_target_properties(win_preview_host PROPERTIES SUFFIX .exe)
target_compile_options(win_preview_host PRIVATE ${own_warnings})
target_link_options(win_preview_host PRIVATE -static)
