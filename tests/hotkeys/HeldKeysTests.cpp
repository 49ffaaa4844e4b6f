#include "platform/linux/HeldKeys.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <vector>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kOption = modifier_flags::option;
constexpr ModifierFlags kFunction = modifier_flags::function;

// One press or release of a key named by its keysym; the keysym doubles as the key's identity.
struct Step {
    bool press;
    unsigned long keysym;
};
Step down(unsigned long keysym) { return {true, keysym}; }
Step up(unsigned long keysym) { return {false, keysym}; }

struct FlagsCase {
    const char* name;
    std::vector<Step> steps;
    // The flags after each step.
    std::vector<ModifierFlags> flags;
};

class HeldKeysFlagsTest : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(HeldKeysFlagsTest, StepsGiveFlags) {
    HeldKeys keys;
    std::vector<ModifierFlags> flags;
    for (const Step& step : GetParam().steps) {
        if (step.press)
            (void)keys.press(static_cast<unsigned>(step.keysym),
                             HeldKeys::roleOfKeysym(step.keysym));
        else
            (void)keys.release(static_cast<unsigned>(step.keysym));
        flags.push_back(keys.flags());
    }
    EXPECT_EQ(flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HeldKeysFlagsTest,
    ::testing::Values(
        FlagsCase{
            "RightCtrlRaisesOnlyFunction", {down(XK_Control_R), up(XK_Control_R)}, {kFunction, 0}},
        FlagsCase{"LeftCtrlRaisesControl", {down(XK_Control_L), up(XK_Control_L)}, {kControl, 0}},
        FlagsCase{"BothCtrlKeys",
                  {down(XK_Control_L), down(XK_Control_R), up(XK_Control_L), up(XK_Control_R)},
                  {kControl, kControl | kFunction, kFunction, 0}},
        FlagsCase{"EitherShiftAndAlt",
                  {down(XK_Shift_R), down(XK_Alt_R), up(XK_Shift_R), down(XK_Shift_L)},
                  {kShift, kShift | kOption, kOption, kShift | kOption}},
        FlagsCase{
            "LeftAndRightShareABitUntilBothAreUp",
            {down(XK_Shift_L), down(XK_Shift_R), up(XK_Shift_R), up(XK_Shift_R), up(XK_Shift_L)},
            {kShift, kShift, kShift, kShift, 0}},
        FlagsCase{"ReleaseOfAKeyNeverPressedChangesNothing",
                  {up(XK_Control_L), down(XK_Control_R), up(XK_Control_L)},
                  {0, kFunction, kFunction}},
        FlagsCase{"OtherKeysRaiseNoFlag",
                  {down(XK_a), down(XK_Super_L), down(XK_Caps_Lock), down(XK_ISO_Level3_Shift)},
                  {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeldKeys, KeyDownsAreReportedOnceAndOnlyForKeysThatAreNotModifiers) {
    struct Case {
        unsigned long keysym;
        std::optional<KeyCode> keyDown;
    };
    const Case cases[] = {{XK_Escape, key_codes::escape},    {XK_space, key_codes::space},
                          {XK_Return, key_codes::returnKey}, {XK_KP_Enter, key_codes::other},
                          {XK_a, key_codes::other},          {XK_Shift_L, std::nullopt},
                          {XK_Control_R, std::nullopt}};
    for (const Case& c : cases) {
        HeldKeys keys;
        const unsigned key = static_cast<unsigned>(c.keysym);
        EXPECT_EQ(keys.press(key, HeldKeys::roleOfKeysym(c.keysym)).keyDown, c.keyDown)
            << std::hex << c.keysym;
        // An auto-repeat, and the release, go down no further.
        EXPECT_EQ(keys.press(key, HeldKeys::roleOfKeysym(c.keysym)).keyDown, std::nullopt);
        EXPECT_EQ(keys.release(key).keyDown, std::nullopt);
    }
}

} // namespace
