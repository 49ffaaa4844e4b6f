#include "support/QtURLSession.h"

#include "support/URLError.h"
#include "support/UrlPolicy.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <qcoro/qcoronetworkreply.h>

namespace sayloom {

namespace {

// Maps a failed reply that carries no usable HTTP response onto the URL error codes.
URLError transportError(const QNetworkReply& reply) {
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
        // Our own cancellation is handled before; Qt ends a transfer whose time-out expired so.
        return URLError(URLError::timedOut);
    case QNetworkReply::SslHandshakeFailedError:
        return URLError(URLError::secureConnectionFailed);
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return URLError(URLError::notConnectedToInternet);
    case QNetworkReply::InsecureRedirectError:
        return URLError(URLError::appTransportSecurityRequiresSecureConnection);
    case QNetworkReply::UnknownNetworkError:
        // Qt has no code of its own for a missing route or interface; its text names it.
        if (reply.errorString().contains(QLatin1String("unreachable"), Qt::CaseInsensitive))
            return URLError(URLError::notConnectedToInternet);
        return URLError(URLError::unknown, reply.errorString());
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
    // Redirects are followed only to places we would send the request to in the first place.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::UserVerifiedRedirectPolicy);

    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(
        manager_->sendCustomRequest(networkRequest, request.httpMethod, request.httpBody));
    QNetworkReply* rawReply = reply.get();

    bool refusedRedirect = false;
    QObject::connect(rawReply, &QNetworkReply::redirected, rawReply,
                     [rawReply, &refusedRedirect](const QUrl& target) {
                         if (isAllowedScheme(target)) {
                             Q_EMIT rawReply->redirectAllowed();
                         } else {
                             refusedRedirect = true;
                             rawReply->abort();
                         }
                     });

    // Abort from the event loop: QNetworkReply::abort() finishes the reply at once, and the
    // canceller should not run this coroutine's continuation on its own stack.
    bool cancelledByUs = false;
    const auto registration = cancellation.subscribe([&cancelledByUs, rawReply] {
        cancelledByUs = true;
        QMetaObject::invokeMethod(rawReply, &QNetworkReply::abort, Qt::QueuedConnection);
    });

    co_await rawReply;
    cancellation.unsubscribe(registration);

    if (cancelledByUs)
        throw URLError(URLError::cancelled);
    if (refusedRedirect)
        throw URLError(URLError::appTransportSecurityRequiresSecureConnection);
    if (isTransportFailure(*reply))
        throw transportError(*reply);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw transportError(*reply);

    URLSessionResult result;
    result.data = reply->readAll();
    result.response.statusCode = status.toInt();
    result.response.url = reply->url();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        result.response.headers.append({name, value});
    co_return result;
}

} // namespace sayloom
