#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QEvent>

#include <algorithm>
#include <cstddef>
#include <utility>

namespace sayloom {

namespace {

QString openLabel() { return QStringLiteral("Open Sayloom"); }
QString copyLabel() { return QStringLiteral("Copy last transcription"); }
QString signOutLabel() { return QStringLiteral("Sign out"); }
QString quitLabel() { return QStringLiteral("Quit Sayloom"); }

std::size_t symbolIndex(EngineState::Kind kind) { return static_cast<std::size_t>(kind); }

} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    tone_ = SayloomIcons::toneFor(QApplication::palette());
    renderSymbols();
    tray_.setToolTip(toolTipFor(state_));
    rebuildMenu();
    tray_.setContextMenu(&menu_);
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Q_EMIT activated();
            });
    qApp->installEventFilter(this);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::show() { tray_.show(); }

void TrayIcon::hide() { tray_.hide(); }

void TrayIcon::setEngineState(const EngineState& state) {
    if (state == state_)
        return;
    const bool kindChanged = state.kind() != state_.kind();
    state_ = state;
    if (kindChanged)
        tray_.setIcon(symbols_[symbolIndex(state_.kind())]);
    tray_.setToolTip(toolTipFor(state_));
}

void TrayIcon::setSignedIn(bool signedIn) {
    if (signedIn == signedIn_)
        return;
    signedIn_ = signedIn;
    rebuildMenu();
}

void TrayIcon::setUpdateAvailable(bool available) {
    if (available == updateAvailable_)
        return;
    updateAvailable_ = available;
    renderSymbols();
}

void TrayIcon::setLastTranscription(const QString& text) {
    // Only whether there is one shows; the text itself is copied by whoever handles the request.
    const bool hasLastTranscription = !text.isEmpty();
    if (hasLastTranscription == hasLastTranscription_)
        return;
    hasLastTranscription_ = hasLastTranscription;
    rebuildMenu();
}

QString TrayIcon::toolTipFor(const EngineState& state) {
    switch (state.kind()) {
    case EngineState::Kind::idle:
        return QStringLiteral("Sayloom — Ready");
    case EngineState::Kind::recording:
        return QStringLiteral("Sayloom — Listening…");
    case EngineState::Kind::transcribing:
        return QStringLiteral("Sayloom — Transcribing…");
    case EngineState::Kind::error:
        return QStringLiteral("Sayloom — ") + state.message();
    }
    Q_UNREACHABLE();
}

QStringList TrayIcon::menuItems(bool signedIn, bool hasLastTranscription) {
    QStringList items{openLabel()};
    if (hasLastTranscription)
        items << copyLabel();
    if (signedIn)
        items << signOutLabel();
    items << QString() << quitLabel();
    return items;
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        useTone(SayloomIcons::toneFor(QApplication::palette()));
    return QObject::eventFilter(watched, event);
}

void TrayIcon::useTone(SayloomIcons::Tone tone) {
    // The update dot takes the palette's highlight colour, which may have changed on its own.
    if (tone == tone_ && !updateAvailable_)
        return;
    tone_ = tone;
    renderSymbols();
}

void TrayIcon::renderSymbols() {
    for (std::size_t i = 0; i < symbols_.size(); ++i)
        symbols_[i] =
            SayloomIcons::traySymbol(static_cast<EngineState::Kind>(i), tone_, updateAvailable_);
    tray_.setIcon(symbols_[symbolIndex(state_.kind())]);
}

void TrayIcon::rebuildMenu() {
    // The old actions go later: one of them may be emitting the signal that led here.
    for (QAction* action : menu_.actions()) {
        menu_.removeAction(action);
        action->deleteLater();
    }
    const std::pair<QString, void (TrayIcon::*)()> commands[] = {
        {openLabel(), &TrayIcon::openRequested},
        {copyLabel(), &TrayIcon::copyLastTranscriptionRequested},
        {signOutLabel(), &TrayIcon::signOutRequested},
        {quitLabel(), &TrayIcon::quitRequested},
    };
    for (const QString& label : menuItems(signedIn_, hasLastTranscription_)) {
        if (label.isEmpty()) {
            menu_.addSeparator();
            continue;
        }
        QAction* action = menu_.addAction(label);
        const auto* command = std::find_if(std::begin(commands), std::end(commands),
                                           [&](const auto& entry) { return entry.first == label; });
        connect(action, &QAction::triggered, this, command->second);
    }
}

} // namespace sayloom
