#include "support/QtURLSession.h"

#include "support/URLError.h"
#include "support/UrlPolicy.h"

#include <QIODevice>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <qcoro/qcoronetworkreply.h>

#include <algorithm>
#include <cstring>

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

// The request body as Qt reads it. When a connection closes before the answer, Qt rewinds the
// body and sends the request again without telling anyone; it does so for a request without a
// body too, rewinding the empty one. Refusing the rewind makes Qt end the reply with an error
// instead, so the request goes out once. A 307 or 308 redirect legitimately needs the body once
// more: each such response allows one rewind. (Qt rewinds for it on its network thread, after
// the response's meta data is on its way to the reply, so the allowance is granted first.)
class SendOnceBody final : public QIODevice {
public:
    explicit SendOnceBody(QByteArray data) : data_(std::move(data)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    void allowOneRewind() { ++rewindsAllowed_; }
    // Qt wanted to send the request again and was refused.
    bool refusedRewind() const { return refusedRewind_; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return data_.size(); }

    // Qt seeks only to rewind (reset() comes here too).
    bool seek(qint64 position) override {
        if (rewindsAllowed_ == 0) {
            refusedRewind_ = true;
            return false;
        }
        if (position < 0 || position > data_.size() || !QIODevice::seek(position))
            return false;
        --rewindsAllowed_;
        offset_ = position;
        return true;
    }

protected:
    qint64 readData(char* out, qint64 maxSize) override {
        const qint64 count = std::min(maxSize, data_.size() - offset_);
        std::memcpy(out, data_.constData() + offset_, static_cast<size_t>(count));
        offset_ += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray data_;
    qint64 offset_ = 0;
    int rewindsAllowed_ = 0;
    bool refusedRewind_ = false;
};

bool keepsMethodOnRedirect(const QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status == 307 || status == 308;
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

    // Every request gets the device, an empty body included: Qt sends "Content-Length: 0" for
    // it either way, and the device is what keeps the request from going out twice.
    auto* body = new SendOnceBody(request.httpBody);
    std::unique_ptr<QNetworkReply, ReplyDeleter> reply(
        manager_->sendCustomRequest(networkRequest, request.httpMethod, body));
    QNetworkReply* rawReply = reply.get();
    body->setParent(rawReply); // Qt reads it for as long as the reply lives

    QObject::connect(rawReply, &QNetworkReply::metaDataChanged, rawReply, [rawReply, body] {
        if (keepsMethodOnRedirect(*rawReply))
            body->allowOneRewind();
    });

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
    // Qt reports the refused second sending as a content error; what happened is that the
    // connection was lost.
    if (body->refusedRewind())
        throw URLError(URLError::networkConnectionLost);
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
