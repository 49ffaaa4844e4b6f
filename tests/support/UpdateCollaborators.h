#pragma once

#include "AppFakes.h"
#include "MemoryKeyValueStore.h"
#include "PendingURLSession.h"
#include "VirtualScheduler.h"

#include "app/UpdateState.h"
#include "app/WebLinks.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace sayloom::testing {

// An update state and the web links over fakes, for the windows that show them: the version
// check stays open until answerCheck(), and the browser records what it was asked to open.
struct UpdateCollaborators {
    static QUrl downloadURL() { return QUrl(QStringLiteral("https://sayloom.test/download")); }

    // Answers the oldest open request with 200 and `answer`.
    void answerCheck(const QJsonObject& answer) {
        for (std::size_t i = 0; i < session.count(); ++i)
            if (session.isPending(i))
                return session.respond(i, 200, QJsonDocument(answer).toJson());
    }

    PendingURLSession session;
    MemoryKeyValueStore store;
    VirtualScheduler scheduler;
    FakeWebBrowser browser;
    UpdateState updates{{session, store, scheduler,
                         QUrl(QStringLiteral("https://api.sayloom.test/v1/version")),
                         downloadURL()}};
    WebLinks links{{browser,
                    session,
                    {},
                    QUrl(QStringLiteral("https://sayloom.test/pricing")),
                    QUrl(QStringLiteral("https://sayloom.test/privacy")),
                    QUrl(QStringLiteral("https://sayloom.test/terms")),
                    QUrl(QStringLiteral("https://sayloom.test/help")),
                    QUrl(QStringLiteral("https://sayloom.test/upgrade")),
                    downloadURL(),
                    QUrl(QStringLiteral("https://api.sayloom.test/v1/billing/portal")),
                    {QStringLiteral("sayloom.test")},
                    {}}};
};

} // namespace sayloom::testing
