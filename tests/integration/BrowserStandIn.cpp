// A stand-in for the user's browser in sign-in tests: it loads the page, follows the redirects
// the page answers with (as a browser would once the user has agreed), and hands the first address
// that is not a web page to the program named by SAYLOOM_TEST_URL_HANDLER, as the desktop would
// hand it to the application registered for its scheme. Exits with that program's status.

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QUrl>

#include <cstdio>

namespace {

bool isWebPage(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: sayloom_test_browser URL\n", stderr);
        return 2;
    }
    QUrl url = QUrl::fromEncoded(argv[1]);
    QNetworkAccessManager network;
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    for (int hop = 0; hop < 10 && isWebPage(url); ++hop) {
        QNetworkReply* reply = network.get(QNetworkRequest(url));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray location = reply->rawHeader("Location");
        reply->deleteLater();
        if (location.isEmpty()) {
            std::fprintf(stderr, "sayloom_test_browser: %s sent the browser nowhere\n",
                         qPrintable(url.toString(QUrl::RemoveQuery)));
            return 3;
        }
        url = url.resolved(QUrl::fromEncoded(location));
    }
    if (isWebPage(url))
        return 4;
    return QProcess::execute(qEnvironmentVariable("SAYLOOM_TEST_URL_HANDLER"),
                             {QString::fromLatin1(url.toEncoded())});
}
