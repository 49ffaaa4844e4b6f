#pragma once

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <optional>

namespace sayloom {

// Puts the final text of a dictation into the focused field. True when it was inserted directly,
// or pasted or typed while input can be synthesised; false when it could only be left on the
// clipboard.
class TranscriptInserter {
public:
    virtual ~TranscriptInserter() = default;
    virtual bool inject(const QString& text) = 0;
};

// The two permissions a dictation needs, read fresh on every call.
class PermissionProbe {
public:
    virtual ~PermissionProbe() = default;
    // Global keys can be observed and input synthesised in this session.
    virtual bool isAccessibilityTrusted() = 0;
    // A capture source is available.
    virtual bool isMicrophoneAuthorized() = 0;
};

// The application shell's two popups that the engine opens.
class EngineShell {
public:
    virtual ~EngineShell() = default;
    virtual void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) = 0;
    virtual void showLimitReached() = 0;
};

// Where the engine reports the account's word usage from each transcription response.
class WordUsageSink {
public:
    virtual ~WordUsageSink() = default;
    virtual void setWordsUsed(std::int64_t wordsUsed) = 0;
    virtual void setWordLimit(std::int64_t wordLimit) = 0;
};

} // namespace sayloom

namespace sayloom {

// Turns an accepted transcript into the text to insert (casing and spacing for where it lands).
class TranscriptPostProcessor {
public:
    virtual ~TranscriptPostProcessor() = default;
    // `translationRequested`: the recording asked for a translation; `translationError`: the
    // service could not produce it (the text is then untranslated).
    virtual QString process(const QString& text, bool translationRequested,
                            const std::optional<QString>& translationError) = 0;
};

} // namespace sayloom

namespace sayloom {

// The signed-in account as the engine's start-up and wake handling need it.
class EngineAccount {
public:
    virtual ~EngineAccount() = default;
    // Resumes once the signed-in state is known (restored from the keychain).
    virtual QCoro::Task<void> waitUntilRestored() = 0;
    virtual bool isLoggedIn() const = 0;
    // A valid identity token, refreshed when needed; throws when none can be had.
    virtual QCoro::Task<QString> getIdToken() = 0;
    // (Re)starts the periodic token refresh.
    virtual void startRefreshTimer() = 0;
};

// Tells when the computer has woken from sleep.
class WakeSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void didWake();
};

} // namespace sayloom
