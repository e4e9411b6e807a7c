/* The size-coded build's imports from the X11, XInput, GL, GLU and C libraries, found by name at
   start-up instead of through the dynamic symbol table, which would cost some 70 bytes a function.
   Each function's symbol is the address of its own name: the code calls through a GOT slot that
   the linker fills with that address, and load_imports swaps it for the function's. */
        .section .rodata.import_names, "a"
        .globl import_names_start, import_names_end
import_names_start:
        .irp name, XOpenDisplay, XSetErrorHandler, XSetIOErrorHandler, XCreateColormap, \
                XCreateWindow, XChangeProperty, XGetInputFocus, XMapRaised, XSendEvent, XSetInputFocus, \
                XKeysymToKeycode, XRefreshKeyboardMapping, XInternAtom, XQueryKeymap, XPending, XNextEvent, XRaiseWindow, \
                XGetEventData, XFreeEventData, XSync, XIQueryVersion, XISelectEvents, \
                glXChooseVisual, glXCreateContext, glXMakeCurrent, glXSwapBuffers, \
                glXDestroyContext, glMatrixMode, glEnable, glBlendFunc, glColor4f, \
                glLoadIdentity, glRotatef, gluPerspective, gluBuild2DMipmaps, gluNewQuadric, \
                gluQuadricTexture, gluSphere, strlen, write, _exit
        /* Hidden, so that the executable's name never stands in for the library's. */
        .globl \name
        .hidden \name
        .type \name, @function
\name:  .asciz "\name"
        .endr
import_names_end:
        .section .note.GNU-stack, "", @progbits
