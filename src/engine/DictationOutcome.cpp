#include "engine/DictationOutcome.h"

#include <QLocale>

#include <unicode/ucol.h>
#include <unicode/usearch.h>

#include <memory>

namespace sayloom {

namespace {

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
struct SearchCloser {
    void operator()(UStringSearch* search) const { usearch_close(search); }
};

const UChar* utf16(const QString& text) { return reinterpret_cast<const UChar*>(text.utf16()); }

} // namespace

bool localizedStandardContains(const QString& text, const QString& fragment) {
    if (fragment.isEmpty() || text.isEmpty())
        return false;
    UErrorCode status = U_ZERO_ERROR;
    const QByteArray locale = QLocale().name().toUtf8();
    std::unique_ptr<UCollator, CollatorCloser> collator(ucol_open(locale.constData(), &status));
    if (U_FAILURE(status))
        return text.contains(fragment, Qt::CaseInsensitive);
    // Primary strength compares base letters only: case, accents and width do not count.
    ucol_setStrength(collator.get(), UCOL_PRIMARY);
    std::unique_ptr<UStringSearch, SearchCloser> search(usearch_openFromCollator(
        utf16(fragment), static_cast<int32_t>(fragment.size()), utf16(text),
        static_cast<int32_t>(text.size()), collator.get(), nullptr, &status));
    if (U_FAILURE(status))
        return text.contains(fragment, Qt::CaseInsensitive);
    const int32_t position = usearch_first(search.get(), &status);
    return U_SUCCESS(status) && position != USEARCH_DONE;
}

DictationOutcome nextOutcome(const QString& last, const QString& field, DictationOutcome current) {
    const QString transcript = last.trimmed();
    if (transcript.isEmpty())
        return current;
    const QString fieldText = field.trimmed();
    DictationOutcome next{true, true, current.typed};
    if (!fieldText.isEmpty() && !next.typed)
        next.typed = localizedStandardContains(fieldText, transcript);
    return next;
}

void DictationOutcomeTracker::fieldShown(qint64 transcriptionSequence,
                                         const QString& lastTranscription,
                                         const QString& fieldText) {
    baselineTranscriptionSequence_ = transcriptionSequence;
    transcriptionSequenceChanged(transcriptionSequence, lastTranscription, fieldText);
}

void DictationOutcomeTracker::engineStateChanged(const EngineState& state) {
    if (state.is(EngineState::Kind::recording)) {
        sawRecording_ = true;
        return;
    }
    // A dictation counts as attempted when it ends, whatever its result; passing through
    // transcribing does not end it.
    if (sawRecording_ && !state.is(EngineState::Kind::transcribing)) {
        sawRecording_ = false;
        if (!outcome_.attempted) {
            DictationOutcome next = outcome_;
            next.attempted = true;
            update(next);
        }
    }
}

void DictationOutcomeTracker::transcriptionSequenceChanged(qint64 transcriptionSequence,
                                                           const QString& lastTranscription,
                                                           const QString& fieldText) {
    if (baselineTranscriptionSequence_ && transcriptionSequence > *baselineTranscriptionSequence_) {
        countedTranscription_ = true;
        update(nextOutcome(lastTranscription, fieldText, outcome_));
    }
}

void DictationOutcomeTracker::fieldTextChanged(const QString& lastTranscription,
                                               const QString& fieldText) {
    if (countedTranscription_)
        update(nextOutcome(lastTranscription, fieldText, outcome_));
}

void DictationOutcomeTracker::update(DictationOutcome next) {
    if (next == outcome_)
        return;
    outcome_ = next;
    Q_EMIT outcomeChanged(outcome_);
}

} // namespace sayloom
