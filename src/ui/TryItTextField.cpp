#include "ui/TryItTextField.h"

#include "engine/SayloomEngine.h"

#include <QKeyEvent>

namespace sayloom {

TryItTextField::TryItTextField(SayloomEngine& engine, QWidget* parent)
    : QLineEdit(parent)
    , engine_(engine) {
    setAccessibleName(QStringLiteral("Try it"));
    connect(&engine_, &SayloomEngine::stateChanged, &tracker_,
            &DictationOutcomeTracker::engineStateChanged);
    connect(&engine_, &SayloomEngine::transcriptionSequenceChanged, this, [this](qint64 sequence) {
        tracker_.transcriptionSequenceChanged(sequence, engine_.lastTranscription(), text());
    });
    connect(this, &QLineEdit::textChanged, this, [this](const QString& fieldText) {
        tracker_.fieldTextChanged(engine_.lastTranscription(), fieldText);
    });
    connect(&tracker_, &DictationOutcomeTracker::outcomeChanged, this,
            &TryItTextField::outcomeChanged);
}

void TryItTextField::requestFocus() {
    setFocus(Qt::OtherFocusReason);
    if (isVisible())
        activateWindow();
}

void TryItTextField::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    tracker_.fieldShown(engine_.transcriptionSequence(), engine_.lastTranscription(), text());
}

void TryItTextField::keyPressEvent(QKeyEvent* event) {
    QLineEdit::keyPressEvent(event);
    // A line edit lets these go on to its window, where they would close it or press its default
    // button; in a field the user is typing into they stay ordinary keys.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        break;
    default:
        break;
    }
}

} // namespace sayloom
