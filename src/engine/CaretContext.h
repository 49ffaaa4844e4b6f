#pragma once

#include <QString>

#include <optional>

namespace sayloom {

// The text around the caret of the focused field, in UTF-16 code units: `before` is up to the
// asked radius before the caret (empty at the start of the field); `after` up to the radius after
// it, or nothing when it could not be read.
struct CaretContext {
    QString before;
    std::optional<QString> after;

    friend bool operator==(const CaretContext&, const CaretContext&) = default;
};

// Reads the focused field's surroundings for the transcript's casing and spacing. Main thread
// only.
class CaretContextSource {
public:
    virtual ~CaretContextSource() = default;
    // Nothing when the caret or the text before it cannot be read.
    virtual std::optional<CaretContext> caretContext(qint64 radius) = 0;
    // Asks the frontmost application, once per process of it, to expose its accessibility tree.
    // True when a request was sent now.
    virtual bool requestAccessibilityTree() = 0;
};

} // namespace sayloom
