/* The arm64 size-coded build starts here, as the x86-64 one does in entry_x11_tiny.cpp, in A64 code
   written to be small: each import's slot, in the order of the names, is given the function of
   that name, looked up with dlsym in every library, a preloaded one first. Then the effect runs and
   its status ends the process. The dynamic linker has already initialised every library and
   filled dlsym's GOT slot, as there is no PLT; the kernel enters with the stack aligned for calls. */
        .text
        .globl _start
        .type _start, %function
_start:
        adr     x19, import_slots
        adr     x20, import_names_start
        adr     x21, import_names_end
next_import:
        /* RTLD_DEFAULT */
        mov     x0, #0
        mov     x1, x20
        ldr     x16, :got:dlsym
        blr     x16
        str     x0, [x19], #8
        /* Past the name's terminating zero. */
skip_name:
        ldrb    w0, [x20], #1
        cbnz    w0, skip_name
        cmp     x20, x21
        b.lo    next_import
        bl      _Z10run_effectv
        b       _Z11end_processi
        /* Weak, so that the link takes it from no library and asks for no version: the C library
           that has it comes in with the X library, and needs neither a name of its own nor
           version tables. */
        .weak   dlsym
        .section .note.GNU-stack, "", %progbits
