#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

namespace sayloom {

// True for "localhost" and the loopback addresses (127.0.0.0/8, ::1).
bool isLoopbackHost(const QString& host);

// Plain http is allowed only to loopback addresses; everything else must be https.
bool isAllowedScheme(const QUrl& url);

// Builds a query string from name/value pairs in order, percent-encoding each part so that
// spaces, non-ASCII letters and the query's own delimiters ("&", "=", "+", "#") survive.
QString encodeQuery(const QList<QPair<QString, QString>>& items);

// Why `base` cannot serve as a service origin (an https origin, or http on a loopback address; no
// path, query or credentials), or nothing when it can. A trailing "/" is tolerated.
std::optional<QString> validateOrigin(const QString& base);
// `base` trimmed, without a trailing "/".
QString normaliseOrigin(const QString& base);

// The URL as a log line may show it: scheme, host, path and the names of the query items, with
// every query value (codes, tokens, state) replaced by "<redacted>".
QString redactedForLog(const QUrl& url);

} // namespace sayloom
