// Script for the fake OpenGL and GLU.
#pragma once

struct FakeGlScript {
    bool quadric_available = true;
};

FakeGlScript& fake_gl_script();
