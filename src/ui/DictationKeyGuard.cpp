#include "ui/DictationKeyGuard.h"

#include "engine/SayloomEngine.h"
#include "ui/TryItTextField.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace sayloom {

DictationKeyGuard::DictationKeyGuard(SayloomEngine& engine, Scheduler& scheduler, QWidget* window)
    : QObject(window)
    , scheduler_(scheduler)
    , window_(window) {
    engineStateChanged(engine.state());
    connect(&engine, &SayloomEngine::stateChanged, this, &DictationKeyGuard::engineStateChanged);
    qApp->installEventFilter(this);
}

void DictationKeyGuard::engineStateChanged(const EngineState& state) {
    const bool dictating =
        state.is(EngineState::Kind::recording) || state.is(EngineState::Kind::transcribing);
    if (dictating_ && !dictating)
        endedAt_ = scheduler_.monotonicNow();
    dictating_ = dictating;
}

bool DictationKeyGuard::keysBelongToDictation() const {
    return dictating_ ||
           (endedAt_ && scheduler_.monotonicNow() - *endedAt_ < Duration(kAfterDictation));
}

bool DictationKeyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_ || qobject_cast<TryItTextField*>(widget))
        return false;
    return keysBelongToDictation();
}

} // namespace sayloom
