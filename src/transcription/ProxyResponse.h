#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom {

// The transcription service's answer to a recording: the body of a 200, and of a 429 (which says
// whether the weekly limit is reached).
struct ProxyResponse {
    QString text;
    std::int64_t status = 0;
    std::optional<QString> originalText;
    std::optional<QString> translationError;
    std::optional<std::int64_t> wordsUsed;
    std::optional<std::int64_t> wordLimit;

    // Throws JSONDecodingError for anything but the expected shape.
    static ProxyResponse decode(const QByteArray& body);
};

// What an error answer says, {"error": {"code": ..., "message": ...}}. Without such a message the
// body itself is the message (see proxyBodyText); the code is nothing unless the body has that
// shape with a string code. Never throws.
struct ProxyErrorDetail {
    QString message;
    std::optional<QString> code;

    static ProxyErrorDetail decode(const QByteArray& body);
};

// A body as text for an error message: its UTF-8 text, or "Unknown error" when it is not UTF-8.
QString proxyBodyText(const QByteArray& body);

} // namespace sayloom
