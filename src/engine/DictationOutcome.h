#pragma once

#include "engine/EngineState.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace sayloom {

// The result of the onboarding's test dictation: tried, heard, and typed into the field.
struct DictationOutcome {
    bool attempted = false;
    bool heard = false;
    bool typed = false;

    friend bool operator==(const DictationOutcome&, const DictationOutcome&) = default;
};

// Whether `text` contains `fragment` the way a person would read it: ignoring letter case,
// accents and width, with the collation rules of the user's locale.
bool localizedStandardContains(const QString& text, const QString& fragment);

// The outcome after a transcript arrived: `last` is the transcript, `field` the try-it field's
// text, `current` the outcome so far.
DictationOutcome nextOutcome(const QString& last, const QString& field, DictationOutcome current);

// Applies the try-it field's rules to the engine's changes and reports each new outcome.
class DictationOutcomeTracker final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    DictationOutcome outcome() const { return outcome_; }

    // The field was shown: transcripts from now on count.
    void fieldShown(qint64 transcriptionSequence, const QString& lastTranscription,
                    const QString& fieldText);
    // The engine's state changed (every assignment).
    void engineStateChanged(const EngineState& state);
    // The engine's transcription sequence changed (every assignment).
    void transcriptionSequenceChanged(qint64 transcriptionSequence,
                                      const QString& lastTranscription, const QString& fieldText);
    // The field's text changed. A dictation into the field may land after the engine counted
    // its transcription (pasted on a later turn of the event loop): once a new transcription
    // has been counted, the rule runs again with the field as it is now.
    void fieldTextChanged(const QString& lastTranscription, const QString& fieldText);

Q_SIGNALS:
    void outcomeChanged(const sayloom::DictationOutcome& outcome);

private:
    void update(DictationOutcome next);

    DictationOutcome outcome_;
    std::optional<qint64> baselineTranscriptionSequence_;
    bool sawRecording_ = false;
    bool countedTranscription_ = false;
};

} // namespace sayloom
