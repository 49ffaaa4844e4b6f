#pragma once

#include "engine/EngineState.h"
#include "support/Scheduler.h"

#include <QObject>

#include <chrono>
#include <optional>

class QWidget;

namespace sayloom {

class SayloomEngine;

// While a dictation runs (recording or transcribing), Escape and Return belong to it: the
// engine hears them through its key monitor (Escape cancels, Return ends a locked recording), so
// in the guarded window they neither close it nor press its default button. The engine may hear
// the key before the window receives it, so the guard holds a moment longer after the dictation
// ends. The try-it field keeps its keys. Lives as long as the window it guards (its child).
class DictationKeyGuard final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAfterDictation{750};

    // `window`: the top-level widget to guard. The engine and the scheduler must outlive it.
    DictationKeyGuard(SayloomEngine& engine, Scheduler& scheduler, QWidget* window);

    bool keysBelongToDictation() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void engineStateChanged(const EngineState& state);

    Scheduler& scheduler_;
    QWidget* window_;
    bool dictating_ = false;
    std::optional<MonotonicInstant> endedAt_;
};

} // namespace sayloom
