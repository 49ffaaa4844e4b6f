#include "transcription/ProxyResponse.h"

#include "support/JsonFields.h"

#include <QStringDecoder>

#include <exception>

namespace sayloom {

ProxyResponse ProxyResponse::decode(const QByteArray& body) {
    const QJsonObject object = json::parseObject(body);
    ProxyResponse response;
    response.text = json::optionalString(object, QStringLiteral("text")).value_or(QString());
    response.status = json::requiredInteger(object, QStringLiteral("status"));
    response.originalText = json::optionalString(object, QStringLiteral("originalText"));
    response.translationError = json::optionalString(object, QStringLiteral("translationError"));
    response.wordsUsed = json::optionalInteger(object, QStringLiteral("wordsUsed"));
    response.wordLimit = json::optionalInteger(object, QStringLiteral("wordLimit"));
    return response;
}

ProxyErrorDetail ProxyErrorDetail::decode(const QByteArray& body) {
    ProxyErrorDetail detail;
    std::optional<QString> message;
    try {
        const QJsonObject error =
            json::requiredObject(json::parseObject(body), QStringLiteral("error"));
        detail.code = json::optionalString(error, QStringLiteral("code"));
        message = json::optionalString(error, QStringLiteral("message"));
    } catch (const std::exception&) {
        detail.code.reset();
    }
    detail.message = message ? *message : proxyBodyText(body);
    return detail;
}

QString proxyBodyText(const QByteArray& body) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(body);
    return decoder.hasError() ? QStringLiteral("Unknown error") : text;
}

} // namespace sayloom
