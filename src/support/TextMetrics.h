#pragma once

#include "support/Scheduler.h"

#include <QString>

namespace sayloom {

// Number of user-perceived characters (grapheme clusters): "é" written as e + combining accent,
// or a flag emoji, counts once.
qsizetype characterCount(const QString& text);

// A duration as seconds in its shortest exact decimal form followed by " seconds":
// 1.5 s -> "1.5 seconds", 2 s -> "2.0 seconds", 523 ms -> "0.523 seconds".
QString durationText(Duration duration);

} // namespace sayloom
