# The Windows executable: no C runtime, a GUI-subsystem program entered at entry().
add_executable(quinesphere run/entry_win32.cpp display/win32_display.cpp ${effect_sources})
set_target_properties(quinesphere PROPERTIES SUFFIX .exe)
target_include_directories(quinesphere PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(quinesphere PRIVATE ${own_warnings} -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-stack-protector -fno-tree-loop-distribute-patterns)
# 32-bit x86 symbols carry a leading underscore.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(entry_symbol _entry)
else()
  set(entry_symbol entry)
endif()
target_link_options(quinesphere PRIVATE -nostdlib -mwindows -Wl,-e,${entry_symbol})
target_link_libraries(quinesphere PRIVATE kernel32 user32 gdi32 opengl32 glu32)

# Test helper, run under Wine beside the effect; an ordinary console program.
add_executable(win_probe tests/win_probe.cpp)
set_target_properties(win_probe PROPERTIES SUFFIX .exe)
target_compile_options(win_probe PRIVATE ${own_warnings})
target_link_options(win_probe PRIVATE -static)
