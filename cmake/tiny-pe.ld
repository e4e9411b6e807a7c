/* The size-coded Windows executable: the main routine opens the code section and the rest of the
   code follows it, so the code texture reads code, then the zeros that pad the section. Read-only
   data and the imports share the section after the code, as the file pads every section to 512
   bytes; Windows makes the import addresses writable while it fills them in. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text$_Z10run_effectv)
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    PROVIDE(etext = .);
    PROVIDE(_etext = .);
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rodata .rodata.*)
    /* The linker finds the import directory and its address table by these names, as RVAs. */
    ".idata$2" = ABSOLUTE(. - __image_base__);
    KEEP(SORT(*)(.idata$2))
    KEEP(SORT(*)(.idata$3))
    /* The end of the import directory. */
    LONG(0); LONG(0); LONG(0); LONG(0); LONG(0);
    ".idata$4" = ABSOLUTE(. - __image_base__);
    KEEP(SORT(*)(.idata$4))
    ".idata$5" = ABSOLUTE(. - __image_base__);
    KEEP(SORT(*)(.idata$5))
    ".idata$6" = ABSOLUTE(. - __image_base__);
    KEEP(SORT(*)(.idata$6))
    KEEP(SORT(*)(.idata$7))
  }
  .data BLOCK(__section_alignment__) : { *(.data) *(SORT(.data$*)) }
  .bss BLOCK(__section_alignment__) : { *(.bss) *(COMMON) }
  /DISCARD/ : { *(.ctors) *(.dtors) *(.eh_frame) *(.comment) *(.debug*) *(.gcc_except_table) }
}
