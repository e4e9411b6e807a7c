/* The size-coded Windows executable: the main routine opens the code section and the rest of the
   code follows it, so the code texture reads code, then the zeros that pad the section. Read-only
   data shares the section after the code; imports get their own. */
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
  }
  .data BLOCK(__section_alignment__) : { *(.data) *(SORT(.data$*)) }
  .bss BLOCK(__section_alignment__) : { *(.bss) *(COMMON) }
  .idata BLOCK(__section_alignment__) :
  {
    KEEP(SORT(*)(.idata$2))
    KEEP(SORT(*)(.idata$3))
    /* The end of the import directory. */
    LONG(0); LONG(0); LONG(0); LONG(0); LONG(0);
    KEEP(SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP(SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP(SORT(*)(.idata$6))
    KEEP(SORT(*)(.idata$7))
  }
  /DISCARD/ : { *(.ctors) *(.dtors) *(.eh_frame) *(.comment) *(.debug*) *(.gcc_except_table) }
}
