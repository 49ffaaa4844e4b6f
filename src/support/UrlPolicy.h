#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace sayloom {

// True for "localhost" and the loopback addresses (127.0.0.0/8, ::1).
bool isLoopbackHost(const QString& host);

// Plain http is allowed only to loopback addresses; everything else must be https.
bool isAllowedScheme(const QUrl& url);

// Builds a query string from name/value pairs in order, percent-encoding each part so that
// spaces, non-ASCII letters and the query's own delimiters ("&", "=", "+", "#") survive.
QString encodeQuery(const QList<QPair<QString, QString>>& items);

} // namespace sayloom
