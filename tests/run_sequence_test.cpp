#include "run/run_effect.h"

#include "tests/call_log.h"
#include "tests/fake_display.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {
using Log = std::vector<std::string>;

const Log set_up = {
    "read_screen_size",
    "create_window 1024x600",
    "obtain_display_surface window",
    "set_pixel_format surface 4",
    "create_rendering_context surface",
    "make_current surface context",
    "set_up_scene",
};

const Log tear_down = {
    "make_current none none",
    "delete_rendering_context context",
};

Log joined(std::initializer_list<Log> parts)
{
    Log all;
    for (const Log& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class RunSequence : public testing::Test {
  protected:
    void SetUp() override
    {
        call_log().clear();
        fake_display_script() = FakeDisplayScript{};
    }
};

TEST_F(RunSequence, PollsBeforeEveryFrameAndAdvancesBetweenDrawAndPresent)
{
    fake_display_script().escape_states = {0, 0, 0, 0x8000};
    EXPECT_EQ(run_effect(), 1);
    const Log frames = {
        "poll_escape", "draw_frame 0", "advance_angle 0", "present_frame surface",
        "poll_escape", "draw_frame 1", "advance_angle 1", "present_frame surface",
        "poll_escape", "draw_frame 2", "advance_angle 2", "present_frame surface",
        "poll_escape",
    };
    EXPECT_EQ(call_log(), joined({set_up, frames, tear_down}));
}

TEST_F(RunSequence, EscapeAlreadySetDrawsAndPresentsNothing)
{
    for (int state : {0x8000, 0x0001, 0x8001}) {
        call_log().clear();
        fake_display_script().escape_states = {static_cast<unsigned short>(state)};
        EXPECT_EQ(run_effect(), 1);
        EXPECT_EQ(call_log(), joined({set_up, {"poll_escape"}, tear_down})) << state;
    }
}

TEST_F(RunSequence, AnyNonZeroKeyStateEndsTheLoop)
{
    // A press since the previous poll alone counts, as does any other bit.
    for (int state : {0x0001, 0x0002, 0x0100, 0x4000, 0x8000, 0xffff}) {
        call_log().clear();
        fake_display_script().escape_states = {0, static_cast<unsigned short>(state), 0};
        run_effect();
        const Log& log = call_log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "present_frame surface"), 1) << state;
        EXPECT_EQ(log.back(), "delete_rendering_context context") << state;
    }
}

TEST_F(RunSequence, ExitStatusIsTheDeletionResult)
{
    fake_display_script().escape_states = {0, 0x8000};
    fake_display_script().deletion_result = 0;
    EXPECT_EQ(run_effect(), 0);
    fake_display_script().escape_states = {0, 0x8000};
    fake_display_script().deletion_result = 1;
    EXPECT_EQ(run_effect(), 1);
}

TEST_F(RunSequence, AngleCarriesFromFrameToFrame)
{
    fake_display_script().escape_states = std::deque<unsigned short>(50, 0);
    run_effect();
    const Log& log = call_log();
    EXPECT_NE(std::find(log.begin(), log.end(), "draw_frame 49"), log.end());
    EXPECT_EQ(std::count(log.begin(), log.end(), "present_frame surface"), 50);
}
} // namespace
