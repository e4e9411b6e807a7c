# The packed Linux executable, build/quinesphere-packed: the size-coded effect compressed with xz
# behind three lines of Perl, which Debian's base system always has, as perl-base is essential.
#
# The script makes an anonymous memory file (memfd_create, close-on-exec), has tail and xz unpack
# the payload into it, both through /proc entries of the script's own descriptors, and executes it
# in the same process with the same arguments and environment, so the exit status and the process
# are the effect's. Nothing is written to any directory, and Perl itself never reads or writes the
# payload, so neither PERL_UNICODE nor PERLIO can recode it; its names are those that `strict`
# allows, for PERL5OPT. The memory file runs only when xz succeeded: Perl's system sees its status
# even where SIGCHLD is ignored. When there is no xz, or the memory file may not be executed,
# the one line follows, with status 0 as for any run that cannot be set up; xz and the shell say
# nothing themselves.
#
# The payload is its own link of the size-coded sources, made to compress rather than to be small:
# import slots filled in order and so left out of the file, direct calls that the x86 filter makes
# repeat, dlsym taken without a version so that no version tables are needed, and code generation
# flags, each measured on this payload, that make the code compress better though not shorter.
find_program(XZ xz REQUIRED)
find_program(PERL perl REQUIRED)

# The stream's options; the decoder needs only the first ones (a preset first, as it resets them).
set(packed_lzma1 lc=0,pb=0)
set(packed_lzma1_encoder preset=9e,${packed_lzma1},nice=128)

string(REPLACE "-Oz" "-Os" packed_flags "${tiny_flags}")
# Calls to the imports are direct (E8), as the x86 filter converts only those; dlsym alone goes
# through the GOT.
list(REMOVE_ITEM packed_flags -Wa,-mrelax-relocations=no -fno-plt)
list(APPEND packed_flags -fno-schedule-insns2 -fno-peephole2 -fno-if-conversion
     -fno-if-conversion2 -fno-caller-saves -fno-guess-branch-probability -fno-forward-propagate
     -fno-tree-vrp -fno-crossjumping -fno-optimize-sibling-calls)
set(payload ${CMAKE_BINARY_DIR}/quinesphere-packed.payload)
# No -z now: without a PLT nothing binds lazily, and it would add two .dynamic entries. No C
# library either: it comes in with the X library, and the weak dlsym binds to it at start-up.
add_size_coded_link(quinesphere-packed-payload run/entry_x11_packed.cpp
                    quinesphere-packed.payload.full ${payload} packed_flags)
target_compile_definitions(quinesphere-packed-payload PRIVATE IMPORT_SLOTS_IN_ORDER)
target_link_libraries(quinesphere-packed-payload PRIVATE X11 Xi Xrandr GL GLU)

set(payload_lzma ${payload}.lzma)
add_custom_command(
  OUTPUT ${payload_lzma}
  COMMAND ${XZ} --format=raw --x86 --lzma1=${packed_lzma1_encoder} --suffix=.lzma --keep --force
          ${payload}
  DEPENDS quinesphere-packed-payload ${payload}
  VERBATIM)

# tail reads the payload from the script's own file, opened by Perl, at a position that depends on
# the script's length and so on its own digits: three, which the configure step checks.
set(unpacker ${CMAKE_BINARY_DIR}/quinesphere-packed.pl)
set(packed_offset 100)
configure_file(run/unpack.pl.in ${unpacker} @ONLY NEWLINE_STYLE UNIX)
file(SIZE ${unpacker} unpacker_size)
math(EXPR packed_offset "${unpacker_size} + 1")
if(NOT packed_offset MATCHES "^[0-9][0-9][0-9]$")
  message(FATAL_ERROR "the unpacking script's payload offset ${packed_offset} is not three digits")
endif()
configure_file(run/unpack.pl.in ${unpacker} @ONLY NEWLINE_STYLE UNIX)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/quinesphere-packed
  COMMAND sh -c "cat \"$1\" \"$2\" > \"$3\"" sh ${unpacker} ${payload_lzma}
          ${CMAKE_BINARY_DIR}/quinesphere-packed
  COMMAND chmod 755 ${CMAKE_BINARY_DIR}/quinesphere-packed
  DEPENDS ${unpacker} ${payload_lzma}
  VERBATIM)
add_custom_target(quinesphere-packed-file ALL DEPENDS ${CMAKE_BINARY_DIR}/quinesphere-packed)
