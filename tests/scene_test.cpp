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
    const float angle = 100.0f;
    EXPECT_EQ(advance_angle(angle), static_cast<float>(static_cast<double>(angle) + 0.3));
    float swept = 0.0f;
    for (int frame = 0; frame < 1200; ++frame)
        swept = advance_angle(swept);
    EXPECT_NEAR(swept, 360.0f, 0.01f);
}

TEST(AngleAdvance, StaysWithinOneTurnAndKeepsItsStepForever)
{
    // 30 million frames: over five days at 60 Hz, where an unbounded float angle has long stopped.
    float angle = 0.0f, plain_sum = 0.0f;
    for (int frame = 0; frame < 30'000'000; ++frame) {
        // The first turn is the plain float sum, so the first 1,200 frames are drawn as ever.
        if (frame < 1200 && angle != plain_sum)
            FAIL() << "frame " << frame << ": " << angle << " for " << plain_sum;
        plain_sum = static_cast<float>(plain_sum + 0.3);
        const float next = advance_angle(angle);
        const float step = next >= angle ? next - angle : next + 360.0f - angle;
        if (!(next >= 0.0f && next < 360.0f && std::fabs(step - 0.3f) < 0.001f))
            FAIL() << "frame " << frame << ": " << angle << " to " << next;
        angle = next;
    }
}
} // namespace
