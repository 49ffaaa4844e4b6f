#include "support/URLSession.h"

namespace sayloom {

namespace {

bool sameField(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

void URLRequest::setValue(const QByteArray& value, const QByteArray& field) {
    headers.removeIf([&](const auto& header) { return sameField(header.first, field); });
    headers.append({field, value});
}

std::optional<QByteArray> URLRequest::value(const QByteArray& field) const {
    for (const auto& [name, value] : headers)
        if (sameField(name, field))
            return value;
    return std::nullopt;
}

std::optional<QString> HTTPURLResponse::value(const QByteArray& field) const {
    for (const auto& [name, value] : headers)
        if (sameField(name, field))
            return QString::fromUtf8(value);
    return std::nullopt;
}

} // namespace sayloom
