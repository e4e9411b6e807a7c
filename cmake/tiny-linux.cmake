# The size-coded Linux executable, build/quinesphere-4k: the same sources, sized down by flags, a
# linker script, imports found by name at start-up, and the section headers dropped.
add_executable(elf-trim tools/elf_trim.cpp)
target_compile_options(elf-trim PRIVATE ${own_warnings})

# On x86-64 the GOT slots must stay: imports are called through them, never relaxed into direct
# calls. On arm64 imports are called directly, and every address is within reach of one instruction.
set(tiny_flags -Oz -flto -fno-pie -fno-plt -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector -fno-ident
    -ffunction-sections -fdata-sections -fno-tree-loop-distribute-patterns)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
  list(APPEND tiny_flags -mcmodel=tiny -fomit-frame-pointer)
  set(tiny_entry run/entry_x11_tiny_arm64.S)
else()
  list(APPEND tiny_flags -Wa,-mrelax-relocations=no)
  set(tiny_entry run/entry_x11_tiny.cpp)
endif()

# A size-coded link of the X11 effect from ENTRY, compiled and linked with the flags in the list
# FLAGS_VARIABLE, into one segment with no C runtime start-up; once linked, its stripped and
# trimmed copy is TRIMMED.
function(add_size_coded_link target entry linked_name trimmed flags_variable)
  add_executable(${target} ${entry} run/imports_x11_tiny.S display/x11_display.cpp
                 display/glx_context.cpp display/failure_line.cpp ${effect_sources})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${linked_name}
                        LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/tiny.ld)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${own_warnings} ${${flags_variable}}>)
  target_link_options(${target} PRIVATE ${${flags_variable}} -no-pie -nostartfiles -nostdlib
    -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/tiny.ld -Wl,--gc-sections -Wl,-z,norelro
    -Wl,--hash-style=gnu -Wl,--build-id=none -Wl,--no-warn-rwx-segments -Wl,--no-as-needed)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${target}> ${trimmed}.stripped
    COMMAND elf-trim ${trimmed}.stripped ${trimmed}
    COMMAND ${CMAKE_COMMAND} -E remove ${trimmed}.stripped
    BYPRODUCTS ${trimmed}
    VERBATIM)
endfunction()

add_size_coded_link(quinesphere-4k-linked ${tiny_entry} quinesphere-4k.full
                    ${CMAKE_BINARY_DIR}/quinesphere-4k tiny_flags)
target_link_libraries(quinesphere-4k-linked PRIVATE X11 Xi Xrandr GL GLU)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
  target_compile_definitions(quinesphere-4k-linked PRIVATE IMPORT_SLOTS_IN_ORDER)
endif()
