#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace sayloom::testing {

// Runs swaymsg with `arguments` in the test's sway session; its output.
inline QString swaymsg(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("swaymsg"), arguments);
    process.waitForFinished(30'000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The process whose window has the keyboard in sway's tree, when one has.
inline std::optional<qint64> swayFocusedProcess() {
    const auto find = [](const auto& self, const QJsonObject& node) -> std::optional<qint64> {
        if (node.value(QLatin1String("focused")).toBool() && node.contains(QLatin1String("pid")))
            return node.value(QLatin1String("pid")).toInteger();
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
                if (auto found = self(self, child.toObject()))
                    return found;
        return std::nullopt;
    };
    const QJsonDocument tree = QJsonDocument::fromJson(
        swaymsg({QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8());
    return find(find, tree.object());
}

} // namespace sayloom::testing
