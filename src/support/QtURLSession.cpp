#include "support/QtURLSession.h"

#include "support/URLError.h"
#include "support/UrlPolicy.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <qcoro/qcoronetworkreply.h>

namespace sayloom {

namespace {

// Maps a failed reply that carries no usable HTTP response onto the URL error codes.
URLError transportError(const QNetworkReply& reply, bool cancelledByUs) {
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return URLError(URLError::cannotConnectToHost);
    case QNetworkReply::RemoteHostClosedError:
        return URLError(URLError::networkConnectionLost);
    case QNetworkReply::HostNotFoundError:
        return URLError(URLError::cannotFindHost);
    case QNetworkReply::TimeoutError:
        return URLError(URLError::timedOut);
    case QNetworkReply::OperationCanceledError:
        // Qt aborts a transfer whose transfer time-out expired the same way as one we aborted.
        return URLError(cancelledByUs ? URLError::cancelled : URLError::timedOut);
    case QNetworkReply::SslHandshakeFailedError:
        return URLError(URLError::secureConnectionFailed);
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return URLError(URLError::notConnectedToInternet);
    case QNetworkReply::InsecureRedirectError:
        return URLError(URLError::appTransportSecurityRequiresSecureConnection);
    default:
        return URLError(URLError::unknown, reply.errorString());
    }
}

bool isTransportFailure(const QNetworkReply& reply) {
    // Qt numbers network-layer errors 1-99 and proxy errors 101-199; content, protocol and
    // server errors come with an HTTP response. A network-layer error ends the exchange even
    // after a status line arrived (the body was cut short or stalled). Qt files a 407 status
    // under the proxy errors; when it came with a status, it is a response like any other.
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied)
        return false;
    if (error < QNetworkReply::ProxyConnectionRefusedError)
        return true;
    return !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

struct ReplyDeleter {
    void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
};

} // namespace

QtURLSession::QtURLSession()
    : owned_(std::make_unique<QNetworkAccessManager>())
    , manager_(owned_.get()) {}

QtURLSession::QtURLSession(QNetworkAccessManager& manager) : manager_(&manager) {}

QtURLSession::~QtURLSession() = default;

QCoro::Task<URLSessionResult> QtURLSession::data(URLRequest request,
                                                 CancellationToken cancellation) {
    const QString scheme = request.url.scheme().toLower();
    if (!request.url.isValid() || request.url.host().isEmpty())
        throw URLError(URLError::badURL);
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        throw URLError(URLError::unsupportedURL);
    if (!isAllowedScheme(request.url))
        throw URLError(URLError::appTransportSecurityRequiresSecureConnection);
    if (cancellation.isCancelled())
        throw URLError(URLError::cancelled);

    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    networkRequest.setTransferTimeout(static_cast<int>(request.timeoutInterval.count()));

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(
        manager_->sendCustomRequest(networkRequest, request.httpMethod, request.httpBody));

    bool cancelledByUs = false;
    QNetworkReply* rawReply = reply.get();
    const auto registration = cancellation.subscribe([&cancelledByUs, rawReply] {
        cancelledByUs = true;
        rawReply->abort();
    });

    co_await rawReply;
    cancellation.unsubscribe(registration);

    if (cancelledByUs)
        throw URLError(URLError::cancelled);
    if (isTransportFailure(*reply))
        throw transportError(*reply, false);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw transportError(*reply, false);

    URLSessionResult result;
    result.data = reply->readAll();
    result.response.statusCode = status.toInt();
    result.response.url = reply->url();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        result.response.headers.append({name, value});
    co_return result;
}

} // namespace sayloom
