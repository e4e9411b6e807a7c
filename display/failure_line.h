// How the Linux hosts report a run that cannot go on.
#pragma once

// Writes "PREFIX WHAT" and a newline on standard error, with plain writes: no stdio to carry into
// the size-coded build.
void write_failure_line(const char* prefix, const char* what);
