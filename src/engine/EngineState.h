#pragma once

#include <QMetaType>
#include <QString>

namespace sayloom {

// What the engine is doing: idle, recording, transcribing, or showing an error message.
// Two error states are equal when their messages are.
class EngineState {
public:
    enum class Kind { idle, recording, transcribing, error };

    EngineState() = default;
    static EngineState idle() { return EngineState(Kind::idle, {}); }
    static EngineState recording() { return EngineState(Kind::recording, {}); }
    static EngineState transcribing() { return EngineState(Kind::transcribing, {}); }
    static EngineState error(QString message) {
        return EngineState(Kind::error, std::move(message));
    }

    Kind kind() const { return kind_; }
    bool is(Kind kind) const { return kind_ == kind; }
    // The user-facing message of an error state; empty otherwise.
    const QString& message() const { return message_; }

    friend bool operator==(const EngineState&, const EngineState&) = default;

private:
    EngineState(Kind kind, QString message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_ = Kind::idle;
    QString message_;
};

} // namespace sayloom

Q_DECLARE_METATYPE(sayloom::EngineState)
