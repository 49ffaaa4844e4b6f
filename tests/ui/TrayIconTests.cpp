#include "ui/SayloomIcons.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

using namespace sayloom;

namespace {

using Kind = EngineState::Kind;
using Tone = SayloomIcons::Tone;

QStringList labelsOf(const QMenu& menu) {
    QStringList labels;
    for (const QAction* action : menu.actions())
        labels << (action->isSeparator() ? QString() : action->text());
    return labels;
}

QImage imageOf(const QIcon& icon) { return icon.pixmap(22).toImage(); }

// The colour of the most opaque pixel: the symbol's own colour.
QColor inkOf(const QImage& image) {
    QColor ink(Qt::transparent);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > ink.alpha())
                ink = image.pixelColor(x, y);
    return ink;
}

TEST(TrayIconMenu, OffersCopyWithATranscriptionAndSignOutWhenSignedIn) {
    const QString open = QStringLiteral("Open Sayloom");
    const QString copy = QStringLiteral("Copy last transcription");
    const QString signOut = QStringLiteral("Sign out");
    const QString quit = QStringLiteral("Quit Sayloom");
    struct Case {
        bool signedIn;
        bool hasLastTranscription;
        QStringList labels;
    };
    const std::vector<Case> cases = {
        {false, false, {open, QString(), quit}},
        {false, true, {open, copy, QString(), quit}},
        {true, false, {open, signOut, QString(), quit}},
        {true, true, {open, copy, signOut, QString(), quit}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "signed in " << c.signedIn << ", transcription " << c.hasLastTranscription);
        EXPECT_EQ(TrayIcon::menuItems(c.signedIn, c.hasLastTranscription), c.labels);

        TrayIcon tray;
        tray.setSignedIn(c.signedIn);
        tray.setLastTranscription(c.hasLastTranscription ? QStringLiteral("hello") : QString());
        EXPECT_EQ(labelsOf(tray.menu()), c.labels);
    }
}

TEST(TrayIconToolTip, NamesTheEngineState) {
    const std::vector<std::pair<EngineState, QString>> cases = {
        {EngineState::idle(), QStringLiteral("Sayloom — Ready")},
        {EngineState::recording(), QStringLiteral("Sayloom — Listening…")},
        {EngineState::transcribing(), QStringLiteral("Sayloom — Transcribing…")},
        {EngineState::error(QStringLiteral("No microphone found")),
         QStringLiteral("Sayloom — No microphone found")},
    };
    TrayIcon tray;
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Sayloom — Ready"));
    for (const auto& [state, text] : cases) {
        EXPECT_EQ(TrayIcon::toolTipFor(state), text);
        tray.setEngineState(state);
        EXPECT_EQ(tray.toolTip(), text);
    }
}

TEST(TrayIcon, ShowsOneSymbolPerStateAndKeepsItForANewErrorMessage) {
    TrayIcon tray;
    QList<qint64> keys{tray.icon().cacheKey()};
    for (const EngineState& state : {EngineState::recording(), EngineState::transcribing(),
                                     EngineState::error(QStringLiteral("first"))}) {
        tray.setEngineState(state);
        EXPECT_FALSE(keys.contains(tray.icon().cacheKey()));
        keys << tray.icon().cacheKey();
    }
    tray.setEngineState(EngineState::error(QStringLiteral("second")));
    EXPECT_EQ(tray.icon().cacheKey(), keys.last());
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Sayloom — second"));
    tray.setEngineState(EngineState::idle());
    EXPECT_EQ(tray.icon().cacheKey(), keys.first());
}

TEST(TrayIcon, RebuildsTheMenuOnlyWhenWhatItShowsChanges) {
    TrayIcon tray;
    tray.setSignedIn(true);
    tray.setLastTranscription(QStringLiteral("first"));
    const QList<QAction*> before = tray.menu().actions();

    tray.setSignedIn(true);
    tray.setLastTranscription(QStringLiteral("second"));
    tray.setEngineState(EngineState::recording());
    EXPECT_EQ(tray.menu().actions(), before);

    tray.setLastTranscription(QString());
    EXPECT_NE(tray.menu().actions(), before);
    EXPECT_EQ(labelsOf(tray.menu()), TrayIcon::menuItems(true, false));
}

TEST(TrayIcon, EachMenuItemEmitsItsRequest) {
    TrayIcon tray;
    tray.setSignedIn(true);
    tray.setLastTranscription(QStringLiteral("text"));
    const std::vector<std::pair<QString, void (TrayIcon::*)()>> cases = {
        {QStringLiteral("Open Sayloom"), &TrayIcon::openRequested},
        {QStringLiteral("Copy last transcription"), &TrayIcon::copyLastTranscriptionRequested},
        {QStringLiteral("Sign out"), &TrayIcon::signOutRequested},
        {QStringLiteral("Quit Sayloom"), &TrayIcon::quitRequested},
    };
    for (const auto& [label, signal] : cases) {
        SCOPED_TRACE(label.toStdString());
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (const auto& other : cases)
            spies.push_back(std::make_unique<QSignalSpy>(&tray, other.second));
        for (QAction* action : tray.menu().actions())
            if (action->text() == label)
                action->trigger();
        for (std::size_t i = 0; i < cases.size(); ++i)
            EXPECT_EQ(spies[i]->count(), cases[i].second == signal ? 1 : 0) << i;
    }
}

TEST(TrayIcon, SymbolsTakeTheToneOfThePalettesWindowText) {
    const QPalette original = QApplication::palette();
    QPalette darkText = original;
    darkText.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    QPalette lightText = original;
    lightText.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    EXPECT_EQ(SayloomIcons::toneFor(darkText), Tone::dark);
    EXPECT_EQ(SayloomIcons::toneFor(lightText), Tone::light);

    QApplication::setPalette(lightText);
    TrayIcon tray;
    EXPECT_GT(inkOf(imageOf(tray.icon())).lightness(), 200);
    QApplication::setPalette(darkText);
    EXPECT_LT(inkOf(imageOf(tray.icon())).lightness(), 80);
    QApplication::setPalette(original);
}

TEST(SayloomIcons, EveryTraySymbolAndTheApplicationIconRender) {
    for (const Tone tone : {Tone::light, Tone::dark}) {
        QList<QImage> images;
        for (const Kind kind : {Kind::idle, Kind::recording, Kind::transcribing, Kind::error}) {
            const QImage image = imageOf(SayloomIcons::traySymbol(kind, tone));
            ASSERT_EQ(image.size(), QSize(22, 22));
            EXPECT_GT(inkOf(image).alpha(), 200) << static_cast<int>(kind);
            EXPECT_FALSE(images.contains(image)) << static_cast<int>(kind);
            images << image;
        }
    }
    const QImage application = SayloomIcons::applicationIcon().pixmap(64).toImage();
    ASSERT_FALSE(application.isNull());
    EXPECT_GT(application.pixelColor(32, 20).alpha(), 200);
}

} // namespace

namespace {

TEST(TrayIcon, TheUpdateDotMarksEveryStatesSymbolAndChangesItOnlyWhenTheValueChanges) {
    const QColor accent = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    // The dot's centre on the 22-pixel symbol.
    const auto dotted = [&](const TrayIcon& tray) {
        return imageOf(tray.icon()).pixelColor(19, 3) == accent;
    };
    TrayIcon tray;
    const qint64 plain = tray.icon().cacheKey();
    tray.setUpdateAvailable(false);
    EXPECT_EQ(tray.icon().cacheKey(), plain);
    EXPECT_FALSE(dotted(tray));

    tray.setUpdateAvailable(true);
    const qint64 withDot = tray.icon().cacheKey();
    EXPECT_NE(withDot, plain);
    EXPECT_TRUE(dotted(tray));
    tray.setUpdateAvailable(true);
    EXPECT_EQ(tray.icon().cacheKey(), withDot);
    for (const EngineState& state : {EngineState::recording(), EngineState::transcribing(),
                                     EngineState::error(QStringLiteral("x"))}) {
        tray.setEngineState(state);
        EXPECT_TRUE(dotted(tray)) << static_cast<int>(state.kind());
    }

    tray.setUpdateAvailable(false);
    EXPECT_FALSE(dotted(tray));
}

} // namespace
