// Script for the fake OpenGL and GLU.
#pragma once

#include <vector>

struct FakeGlScript {
    bool quadric_available = true;
    // The bytes the last gluBuild2DMipmaps call was given, as many as its arguments describe.
    std::vector<unsigned char> texture_image;
};

FakeGlScript& fake_gl_script();
