// Which keys type which characters, on layouts compiled from their names: the table a keyboard
// that sends key codes types with; a text with a character missing from it is pasted instead.

#include "platform/linux/TypingKeymap.h"

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

using namespace sayloom::linux_desktop;

namespace {

struct Case {
    const char* layout;
    char32_t character;
    // Nothing: the layout has no key for it.
    std::optional<KeyStroke> stroke;
};

TEST(TypingKeymap, FindsEachCharactersKeyAndModifiersInTheLayout) {
    const Case cases[] = {
        {"us", U'a', KeyStroke{KEY_A, false, false}},
        {"us", U'A', KeyStroke{KEY_A, true, false}},
        {"us", U'!', KeyStroke{KEY_1, true, false}},
        {"us", U'z', KeyStroke{KEY_Z, false, false}},
        {"us", U' ', KeyStroke{KEY_SPACE, false, false}},
        {"us", U'-', KeyStroke{KEY_MINUS, false, false}},
        {"us", U'\n', KeyStroke{KEY_ENTER, false, false}},
        {"us", U'\t', KeyStroke{KEY_TAB, false, false}},
        // Only a compose sequence or another layout makes them.
        {"us", U'é', std::nullopt},
        {"us", U'ü', std::nullopt},
        {"us", U'€', std::nullopt},
        // Control characters other than line breaks and tabs are not typed.
        {"us", U'\x1b', std::nullopt},
        // German keys: Y and Z swapped, umlauts of their own, the third level through AltGr.
        {"de", U'z', KeyStroke{KEY_Y, false, false}},
        {"de", U'y', KeyStroke{KEY_Z, false, false}},
        {"de", U'ü', KeyStroke{KEY_LEFTBRACE, false, false}},
        {"de", U'Ü', KeyStroke{KEY_LEFTBRACE, true, false}},
        {"de", U'ß', KeyStroke{KEY_MINUS, false, false}},
        {"de", U'"', KeyStroke{KEY_2, true, false}},
        {"de", U'€', KeyStroke{KEY_E, false, true}},
        {"de", U'@', KeyStroke{KEY_Q, false, true}},
        // A dead key: é takes two presses, which typing by key does not do.
        {"de", U'é', std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " U+" +
                     QString::number(static_cast<uint>(c.character), 16).toStdString());
        const std::optional<TypingKeymap> keymap =
            TypingKeymap::fromNames(QString::fromLatin1(c.layout));
        ASSERT_TRUE(keymap);
        EXPECT_EQ(keymap->strokeFor(c.character), c.stroke);
    }
    // A text goes by keys only when every character has one.
    const std::optional<TypingKeymap> us = TypingKeymap::fromNames(QStringLiteral("us"));
    const std::optional<TypingKeymap> german = TypingKeymap::fromNames(QStringLiteral("de"));
    ASSERT_TRUE(us && german);
    EXPECT_TRUE(us->canType(QStringLiteral("ls -la | grep \"x\"\n")));
    EXPECT_FALSE(us->canType(QStringLiteral("Grüße")));
    EXPECT_TRUE(german->canType(QStringLiteral("Grüße für 5 €")));
    EXPECT_EQ(german->altGrCode(), std::optional<unsigned>(KEY_RIGHTALT));
}

// Ctrl+V is pressed with the key that types v, which applications match the shortcut by; where no
// key types v (Cyrillic), with the V key, which they fall back to.
TEST(TypingKeymap, PastesWithTheKeyThatTypesV) {
    const struct {
        const char* layout;
        const char* variant;
        unsigned v;
    } cases[] = {{"us", "", KEY_V}, {"us", "dvorak", KEY_DOT}, {"ru", "", KEY_V}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.variant);
        const auto keymap =
            TypingKeymap::fromNames(QString::fromLatin1(c.layout), QString::fromLatin1(c.variant));
        ASSERT_TRUE(keymap);
        EXPECT_EQ(keymap->pasteKeys(false),
                  (std::vector<KeyEvent>{
                      {KEY_LEFTCTRL, true}, {c.v, true}, {c.v, false}, {KEY_LEFTCTRL, false}}));
        EXPECT_EQ(keymap->pasteKeys(true), (std::vector<KeyEvent>{{KEY_LEFTCTRL, true},
                                                                  {KEY_LEFTSHIFT, true},
                                                                  {c.v, true},
                                                                  {c.v, false},
                                                                  {KEY_LEFTSHIFT, false},
                                                                  {KEY_LEFTCTRL, false}}));
    }
}

} // namespace
