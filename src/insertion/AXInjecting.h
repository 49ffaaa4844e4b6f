#pragma once

#include "insertion/InjectionError.h"

#include <QString>

#include <optional>

namespace sayloom {

// Puts text straight into the focused field, replacing its selection.
class AXInjecting {
public:
    virtual ~AXInjecting() = default;
    // Nothing on success, otherwise why it could not be done. `bundleID` (the frontmost
    // application's identifier) is used only in the log.
    virtual std::optional<InjectionError> insert(const QString& text,
                                                 const std::optional<QString>& bundleID) = 0;
};

} // namespace sayloom
