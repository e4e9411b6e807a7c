#include "scene/scene.h"

#include "tests/call_log.h"
#include "tests/fake_gl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
using Log = std::vector<std::string>;

class Scene : public testing::Test {
  protected:
    void SetUp() override
    {
        call_log().clear();
        fake_gl_script() = FakeGlScript{};
    }
};

TEST_F(Scene, SetUpMakesExactlyTheseCallsInOrder)
{
    set_up_scene();
    const Log expected = {
        "glMatrixMode GL_PROJECTION",
        "gluPerspective 100 1 1 100",
        "glMatrixMode GL_MODELVIEW",
        "glEnable GL_BLEND",
        "glEnable GL_TEXTURE_2D",
        "glBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA",
        // 0x3D75C28F is the single-precision value nearest 0.06.
        "glColor4f 3F800000 3F800000 3F800000 3D75C28F",
        "gluBuild2DMipmaps GL_TEXTURE_2D 4 16 16 GL_RGBA GL_UNSIGNED_BYTE",
        "gluNewQuadric",
        "gluQuadricTexture quadric GL_TRUE",
    };
    EXPECT_EQ(call_log(), expected);
}

TEST_F(Scene, MissingQuadricEndsTheRunWithStatusZeroBeforeItIsUsed)
{
    fake_gl_script().quadric_available = false;
    try {
        set_up_scene();
        FAIL() << "set-up went on without a quadric";
    }
    catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.status, 0);
    }
    EXPECT_EQ(call_log().back(), "fail_setup cannot create the sphere quadric");
}

TEST_F(Scene, FrameResetsThenTurnsAboutXThenOneOneThenZAndDrawsTheSphere)
{
    set_up_scene();
    call_log().clear();
    draw_frame(42.5f);
    const Log expected = {
        "glLoadIdentity",       "glRotatef 42.5 1 0 0",        "glRotatef 42.5 0 1 1",
        "glRotatef 42.5 0 0 1", "gluSphere quadric 100 10 10",
    };
    EXPECT_EQ(call_log(), expected);
}

TEST(AngleAdvance, AddsTheDoubleStepAndRoundsToFloat)
{
    EXPECT_EQ(advance_angle(0.0f), 0.3f);
    // Rounding once from the double sum, not adding the float 0.3f.
    const float angle = 1000.0f;
    EXPECT_EQ(advance_angle(angle), static_cast<float>(static_cast<double>(angle) + 0.3));
    float swept = 0.0f;
    for (int frame = 0; frame < 1200; ++frame)
        swept = advance_angle(swept);
    EXPECT_NEAR(swept, 360.0f, 0.01f);
}

TEST(AngleAdvance, StepCoarsensAsTheAngleGrowsAndStallsFrom2To23)
{
    const float two_20 = std::ldexp(1.0f, 20), two_21 = std::ldexp(1.0f, 21);
    const float two_22 = std::ldexp(1.0f, 22), two_23 = std::ldexp(1.0f, 23);
    for (float angle : {two_20, two_20 + 1000.0f, two_21, two_22 - 1.0f})
        EXPECT_EQ(advance_angle(angle) - angle, 0.25f) << angle;
    for (float angle : {two_22, two_22 + 1000.0f, two_23 - 1.0f})
        EXPECT_EQ(advance_angle(angle) - angle, 0.5f) << angle;
    for (float angle : {two_23, two_23 + 2.0f, std::ldexp(1.0f, 30)})
        EXPECT_EQ(advance_angle(angle), angle) << angle;
    // The one step that crosses 2^23 still moves.
    EXPECT_EQ(advance_angle(two_23 - 0.5f), two_23);
}
} // namespace
