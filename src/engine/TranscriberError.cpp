#include "engine/TranscriberError.h"

namespace sayloom {

QString TranscriberError::localizedDescription() const {
    switch (kind_) {
    case Kind::transcriptionFailed:
        return QStringLiteral("Transcription failed: ") + payload_;
    case Kind::modelNotFound:
        return QStringLiteral("Model not found at: ") + payload_;
    case Kind::modelNotLoaded:
        return QStringLiteral("Speech model is not loaded");
    case Kind::hardLimitReached:
        return QStringLiteral("Weekly word limit reached. Upgrade to Pro for unlimited words.");
    }
    return {};
}

} // namespace sayloom
