/* The size-coded Linux executable: one loadable segment holding headers, code, data and the
   dynamic linking tables, with the main routine at the very start of the code so that the code
   texture begins with it and ends where the code does. */
ENTRY(_start)

PHDRS
{
  interp PT_INTERP;
  image PT_LOAD FILEHDR PHDRS FLAGS(7);
  dynamic PT_DYNAMIC;
}

SECTIONS
{
  . = 0x400000 + SIZEOF_HEADERS;
  .interp : { *(.interp) } :image :interp
  .text : {
    *(.text._Z10run_effectv)
    *(.text .text.*)
  } :image
  etext = .;
  .rodata : { *(.rodata .rodata.*) }
  .gnu.hash : { *(.gnu.hash) }
  .dynsym : { *(.dynsym) }
  .dynstr : { *(.dynstr) }
  .rela.dyn : { *(.rela.dyn .rela.plt) }
  .got : { got_start = .; *(.got .got.plt) got_end = .; }
  .data : { *(.data .data.*) }
  .dynamic : { *(.dynamic) } :image :dynamic
  .bss : { *(.bss .bss.* COMMON) } :image
  /DISCARD/ : { *(.comment) *(.note .note.*) *(.eh_frame .eh_frame_hdr) *(.plt .plt.*) }
}
