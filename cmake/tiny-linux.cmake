# The size-coded Linux executable, build/quinesphere-4k: the same sources, sized down by flags, a
# linker script, imports found by name at start-up, and the section headers dropped.
add_executable(elf-trim tools/elf_trim.cpp)
target_compile_options(elf-trim PRIVATE ${own_warnings})

add_executable(quinesphere-4k-linked run/entry_x11_tiny.cpp run/imports_x11_tiny.S
               display/x11_display.cpp display/glx_context.cpp
               display/failure_line.cpp ${effect_sources})
set_target_properties(quinesphere-4k-linked PROPERTIES OUTPUT_NAME quinesphere-4k.full
                      LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/tiny.ld)
target_include_directories(quinesphere-4k-linked PRIVATE ${CMAKE_SOURCE_DIR})
# The GOT slots must stay: imports are called through them, never relaxed into direct calls.
set(tiny_flags -Oz -flto -fno-pie -fno-plt -Wa,-mrelax-relocations=no -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector -fno-ident
    -ffunction-sections -fdata-sections -fno-tree-loop-distribute-patterns)
target_compile_options(quinesphere-4k-linked PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${own_warnings} ${tiny_flags}>)
target_link_options(quinesphere-4k-linked PRIVATE ${tiny_flags} -no-pie -nostartfiles -nostdlib
  -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/tiny.ld -Wl,--gc-sections -Wl,-z,now -Wl,-z,norelro
  -Wl,--hash-style=gnu -Wl,--build-id=none -Wl,--no-warn-rwx-segments -Wl,--no-as-needed)
target_link_libraries(quinesphere-4k-linked PRIVATE X11 Xi GL GLU c)
add_custom_command(TARGET quinesphere-4k-linked POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:quinesphere-4k-linked>
          ${CMAKE_BINARY_DIR}/quinesphere-4k.stripped
  COMMAND elf-trim ${CMAKE_BINARY_DIR}/quinesphere-4k.stripped ${CMAKE_BINARY_DIR}/quinesphere-4k
  COMMAND ${CMAKE_COMMAND} -E remove ${CMAKE_BINARY_DIR}/quinesphere-4k.stripped
  BYPRODUCTS ${CMAKE_BINARY_DIR}/quinesphere-4k
  VERBATIM)
