#include "support/LocalizedError.h"

namespace sayloom {

const char* LocalizedError::what() const noexcept {
    try {
        whatCache_ = localizedDescription().toStdString();
    } catch (...) {
        return "error";
    }
    return whatCache_.c_str();
}

QString CancellationError::localizedDescription() const {
    return QStringLiteral("The operation was cancelled.");
}

QString localizedDescription(const std::exception& error) {
    if (const auto* localized = dynamic_cast<const LocalizedError*>(&error))
        return localized->localizedDescription();
    return QString::fromUtf8(error.what());
}

QString localizedDescription(const std::exception_ptr& error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return localizedDescription(e);
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace sayloom
