/* The size-coded builds' imports from the X11, XInput, RandR, GL, GLU and C libraries, found by
   name at start-up instead of through the dynamic symbol table, which would cost some 70 bytes a
   function.
   In the 4k build each function's symbol is the address of its own name: the code calls through a
   GOT slot that the linker fills with that address, and load_imports swaps it for the function's.
   The packed build's payload is made to compress instead: each function is a jump through a slot
   that start-up fills in the order of the names, so the slots take no room in the file, and the
   code calls the functions directly, which the x86 filter of the packer turns into calls that
   repeat wherever the same function is called. The arm64 4k build does the same to be small, as
   an A64 call through the GOT takes two instructions and a direct one a single one. */
#ifdef IMPORT_SLOTS_IN_ORDER
        .section .bss.import_slots, "aw", @nobits
        .balign 8
        .globl import_slots
import_slots:
#endif
        .section .rodata.import_names, "a"
        .globl import_names_start, import_names_end
import_names_start:
        .irp name, XOpenDisplay, XSetErrorHandler, XSetIOErrorHandler, XCreateColormap, \
                XCreateWindow, XChangeProperty, XGetInputFocus, XMapRaised, XSendEvent, XSetInputFocus, \
                XKeysymToKeycode, XRefreshKeyboardMapping, XInternAtom, XRRGetMonitors, \
                XRRGetScreenResourcesCurrent, XRRGetOutputInfo, XQueryKeymap, \
                XPending, XNextEvent, XGetEventData, XFreeEventData, XSync, \
                XIQueryVersion, XISelectEvents, \
                glXChooseVisual, glXCreateContext, glXMakeCurrent, glXSwapBuffers, \
                glXDestroyContext, glMatrixMode, glEnable, glBlendFunc, glColor4f, \
                glLoadIdentity, glRotatef, gluPerspective, gluBuild2DMipmaps, gluNewQuadric, \
                gluQuadricTexture, gluSphere, strlen, write, _exit
        /* Hidden, so that the executable's name never stands in for the library's. */
        .globl \name
        .hidden \name
        .type \name, @function
#ifdef IMPORT_SLOTS_IN_ORDER
        .asciz "\name"
        .pushsection .text.imports, "ax"
#ifdef __aarch64__
\name:  ldr x16, import_slot_\name
        br x16
#else
        /* Jumps and slots both 8 bytes apart: every jump is the same 8 bytes. */
\name:  jmp *import_slot_\name(%rip)
        .balign 8, 0xcc
#endif
        .popsection
        .pushsection .bss.import_slots, "aw", @nobits
import_slot_\name: .quad 0
        .popsection
#else
\name:  .asciz "\name"
#endif
        .endr
import_names_end:
        .section .note.GNU-stack, "", @progbits
