// The keymap of our own virtual keyboard: a complete us layout, so that shortcuts read as they
// should, plus keys made for whatever else a text holds.

#include "platform/linux/VirtualKeyboardKeymap.h"

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include <set>

using namespace sayloom::linux_desktop;

namespace {

// The X protocol's highest key code, as a kernel code.
constexpr unsigned kLastX11Code = 255 - 8;

TEST(VirtualKeyboardKeymap, TypesTheUsLayoutAndMakesKeysForTheRest) {
    auto keymap = VirtualKeyboardKeymap::standard();
    ASSERT_TRUE(keymap);
    // Paste needs V where applications look for it, and Shift for capitals.
    qsizetype missing = -1;
    EXPECT_EQ(keymap->strokes().keyEventsFor(QStringLiteral("vA\n"), missing),
              (std::vector<KeyEvent>{{KEY_V, true},
                                     {KEY_V, false},
                                     {KEY_LEFTSHIFT, true},
                                     {KEY_A, true},
                                     {KEY_A, false},
                                     {KEY_LEFTSHIFT, false},
                                     {KEY_ENTER, true},
                                     {KEY_ENTER, false}}));
    EXPECT_EQ(missing, 0);

    struct Case {
        const char* name;
        QString text;
        bool typeable;
    };
    const Case cases[] = {
        {"ASCII", QStringLiteral("ls -la | grep \"A+B\""), true},
        {"accents and symbols", QStringLiteral("grüße, café: 5 €"), true},
        {"other scripts", QStringLiteral("中文 Ελληνικά עברית"), true},
        {"emoji", QStringLiteral("ok 👍"), true},
        {"control character", QStringLiteral("a\x01"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keymap->canType(c.text), c.typeable);
        if (!c.typeable)
            continue;
        keymap->addKeysFor(c.text);
        keymap->strokes().keyEventsFor(c.text, missing);
        EXPECT_EQ(missing, 0);
        // The keymap handed to the compositor compiles, ends as it expects, and still has V.
        const QByteArray& text = keymap->text();
        ASSERT_FALSE(text.isEmpty());
        EXPECT_EQ(text.back(), '\0');
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_keymap* compiled = xkb_keymap_new_from_string(
            context, text.constData(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        EXPECT_NE(compiled, nullptr);
        xkb_keymap_unref(compiled);
        xkb_context_unref(context);
        EXPECT_EQ(keymap->strokes().strokeFor(U'v'), (KeyStroke{KEY_V, false, false}));
    }
}

TEST(VirtualKeyboardKeymap, MadeKeysAreX11KeysOfTheirOwnAndChangeOnlyWhenNeeded) {
    auto keymap = VirtualKeyboardKeymap::standard();
    ASSERT_TRUE(keymap);
    EXPECT_FALSE(keymap->addKeysFor(QStringLiteral("plain ASCII")));
    EXPECT_TRUE(keymap->addKeysFor(QStringLiteral("é中é")));
    EXPECT_FALSE(keymap->addKeysFor(QStringLiteral("中 again é")));
    const auto e = keymap->strokes().strokeFor(U'é');
    const auto zhong = keymap->strokes().strokeFor(U'中');
    ASSERT_TRUE(e && zhong);
    EXPECT_NE(e->evdevCode, zhong->evdevCode);
    EXPECT_FALSE(e->shift || e->altGr || zhong->shift || zhong->altGr);
    EXPECT_LE(e->evdevCode, kLastX11Code);

    // A text with more new characters than there are spare keys gets keys for the first ones;
    // each chunk typed later gets its own.
    QString many;
    for (char32_t character = 0x4E00; many.size() < keymap->spareKeys() + 5; ++character)
        many += QString::fromUcs4(&character, 1);
    EXPECT_TRUE(keymap->addKeysFor(many));
    std::set<unsigned> codes;
    qsizetype typeable = 0;
    for (const QChar character : many)
        if (const auto stroke = keymap->strokes().strokeFor(character.unicode())) {
            ++typeable;
            codes.insert(stroke->evdevCode);
            EXPECT_LE(stroke->evdevCode, kLastX11Code);
        }
    EXPECT_EQ(typeable, keymap->spareKeys());
    EXPECT_EQ(static_cast<qsizetype>(codes.size()), keymap->spareKeys());
    // The first character of the text is among them; V is untouched.
    EXPECT_TRUE(keymap->strokes().strokeFor(many.front().unicode()));
    EXPECT_EQ(keymap->strokes().strokeFor(U'v'), (KeyStroke{KEY_V, false, false}));
}

} // namespace
