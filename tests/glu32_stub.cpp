// Stands in for glu32.dll under Wine in the tests: it does nothing, and it never makes a quadric,
// so the effect's set-up fails the way it would out of memory.
#include <windows.h>

extern "C" {
__declspec(dllexport) void APIENTRY gluPerspective(double, double, double, double) {}
__declspec(dllexport) int APIENTRY
    gluBuild2DMipmaps(unsigned, int, int, int, unsigned, unsigned, const void*)
{
    return 0;
}
__declspec(dllexport) void* APIENTRY gluNewQuadric()
{
    return nullptr;
}
__declspec(dllexport) void APIENTRY gluQuadricTexture(void*, unsigned char) {}
__declspec(dllexport) void APIENTRY gluSphere(void*, double, int, int) {}
}
