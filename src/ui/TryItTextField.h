#pragma once

#include "engine/DictationOutcome.h"

#include <QLineEdit>

namespace sayloom {

class SayloomEngine;

// The onboarding's test field: an ordinary text field that a dictation reaches the way it reaches
// any application's field (inserted over the accessibility bus, pasted or typed), and that tells
// from the engine and its own text whether the test dictation was tried, heard and typed.
// Transcripts from before it was first shown do not count. Return and Escape are ordinary keys
// here: they never reach the window. The engine must outlive it.
class TryItTextField final : public QLineEdit {
    Q_OBJECT

public:
    explicit TryItTextField(SayloomEngine& engine, QWidget* parent = nullptr);

    DictationOutcome outcome() const { return tracker_.outcome(); }
    // Takes the keyboard focus (and activates its window when it is shown).
    void requestFocus();

Q_SIGNALS:
    void outcomeChanged(const sayloom::DictationOutcome& outcome);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SayloomEngine& engine_;
    DictationOutcomeTracker tracker_;
    bool shown_ = false;
};

} // namespace sayloom
