#pragma once

#include "support/LocalizedError.h"

namespace sayloom {

// Failures of a transcription back-end. The engine keys on the kind; the description reaches
// the log.
class TranscriberError final : public LocalizedError {
public:
    enum class Kind { transcriptionFailed, modelNotFound, modelNotLoaded, hardLimitReached };

    static TranscriberError transcriptionFailed(QString message) {
        return TranscriberError(Kind::transcriptionFailed, std::move(message));
    }
    static TranscriberError modelNotFound(QString path) {
        return TranscriberError(Kind::modelNotFound, std::move(path));
    }
    static TranscriberError modelNotLoaded() { return TranscriberError(Kind::modelNotLoaded, {}); }
    static TranscriberError hardLimitReached() {
        return TranscriberError(Kind::hardLimitReached, {});
    }

    Kind kind() const { return kind_; }
    // The message of transcriptionFailed, the path of modelNotFound, empty otherwise.
    const QString& payload() const { return payload_; }

    QString localizedDescription() const override;

private:
    TranscriberError(Kind kind, QString payload) : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    QString payload_;
};

} // namespace sayloom
