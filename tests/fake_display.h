// Script for the fake display host.
#pragma once

#include <deque>

struct FakeDisplayScript {
    // Escape states the polls return in turn; once empty, polls return 0x8000.
    std::deque<unsigned short> escape_states;
    int deletion_result = 1;
};

FakeDisplayScript& fake_display_script();
