#include "platform/linux/SwayFrontmostApplication.h"

#include "platform/linux/SwayIpcMessage.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <vector>

namespace sayloom::linux_desktop {

std::optional<RunningApplication> SwayFrontmostApplication::focusedIn(const QJsonObject& tree) {
    // Depth first through tiled and floating windows; only a window (a node with a process) can
    // have the focus that matters here, not a workspace or an output.
    std::vector<QJsonObject> pending{tree};
    while (!pending.empty()) {
        const QJsonObject node = std::move(pending.back());
        pending.pop_back();
        if (node.value(QLatin1String("focused")).toBool() && node.contains(QLatin1String("pid"))) {
            RunningApplication application;
            application.processIdentifier = node.value(QLatin1String("pid")).toInteger();
            QString name = node.value(QLatin1String("app_id")).toString();
            if (name.isEmpty())
                name = node.value(QLatin1String("window_properties"))
                           .toObject()
                           .value(QLatin1String("class"))
                           .toString();
            if (!name.isEmpty())
                application.applicationID = name;
            return application;
        }
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
                pending.push_back(child.toObject());
    }
    return std::nullopt;
}

std::optional<RunningApplication> SwayFrontmostApplication::frontmostApplication() {
    const auto reply = SwayIpcMessage{SwayIpcMessage::getTree, {}}.request(kTimeoutMs);
    if (!reply)
        return std::nullopt;
    auto application = focusedIn(QJsonDocument::fromJson(reply->payload).object());
    if (application && application->applicationID)
        application->applicationID =
            desktopEntries_.desktopIDForWindowClass(*application->applicationID)
                .value_or(*application->applicationID);
    return application;
}

} // namespace sayloom::linux_desktop
