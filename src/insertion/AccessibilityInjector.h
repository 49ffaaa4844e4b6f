#pragma once

#include "engine/CaretContext.h"
#include "insertion/AXInjecting.h"
#include "insertion/AccessibilityElement.h"
#include "insertion/FrontmostApplication.h"
#include "support/Logger.h"

#include <QSet>
#include <QStringList>

#include <chrono>
#include <optional>

namespace sayloom {

// Direct insertion into the focused field through the accessibility interface, and the reads
// around it: the text near the caret, and the request that an application expose its tree. It
// never falls back by itself; the caller decides what to do with an InjectionError. An insertion
// succeeds only when the field's text changed, as far as the field lets it be read. Every call
// on an element is bounded by a 0.15-second time-out. Main thread only; the application makes
// one.
class AccessibilityInjector final : public AXInjecting, public CaretContextSource {
public:
    static constexpr std::chrono::milliseconds kMessagingTimeout{150};

    AccessibilityInjector(AccessibilityAccess& access, FrontmostApplicationSource& frontmost);

    // The roles that count as text-bearing. "AXUnknown" belongs to them: an element that cannot
    // tell what it is still gets a try.
    static const QStringList& textRoles();

    std::optional<InjectionError> insert(const QString& text,
                                         const std::optional<QString>& bundleID) override;
    std::optional<CaretContext> caretContext(qint64 radius) override;
    bool requestAccessibilityTree() override;

private:
    std::shared_ptr<AccessibilityElement> focusedElementOrNothing();
    std::optional<QString> stringForRange(AccessibilityElement& element, qint64 location,
                                          qint64 length);

    AccessibilityAccess& access_;
    FrontmostApplicationSource& frontmost_;
    // Processes already asked to expose their tree; only grows.
    QSet<qint64> manualAccessibilityPIDs_;
    Logger log_{QStringLiteral("ax-injector")};
};

} // namespace sayloom
