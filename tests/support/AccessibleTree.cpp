#include "AccessibleTree.h"

#include <QProcess>

#include <atspi/atspi.h>

namespace sayloom::testing {

namespace {

QString take(gchar* text) {
    const QString value = QString::fromUtf8(text ? text : "");
    g_free(text);
    return value;
}

void walk(AtspiAccessible* object, int depth, std::vector<AccessibleNode>& nodes) {
    AccessibleNode node;
    node.depth = depth;
    node.role = take(atspi_accessible_get_role_name(object, nullptr));
    node.name = take(atspi_accessible_get_name(object, nullptr));
    node.description = take(atspi_accessible_get_description(object, nullptr));
    if (AtspiStateSet* states = atspi_accessible_get_state_set(object)) {
        node.showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
        node.focusable = atspi_state_set_contains(states, ATSPI_STATE_FOCUSABLE);
        node.focused = atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
        g_object_unref(states);
    }
    nodes.push_back(node);
    const gint count = atspi_accessible_get_child_count(object, nullptr);
    for (gint i = 0; i < count && depth < 32; ++i) {
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr)) {
            walk(child, depth + 1, nodes);
            g_object_unref(child);
        }
    }
}

} // namespace

std::vector<AccessibleNode> AccessibleTree::of(qint64 pid) {
    std::vector<AccessibleNode> nodes;
    if (atspi_init() < 0)
        return nodes;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const gint count = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!application)
            continue;
        if (atspi_accessible_get_process_id(application, nullptr) == static_cast<guint>(pid)) {
            const gint windows = atspi_accessible_get_child_count(application, nullptr);
            for (gint w = 0; w < windows; ++w) {
                if (AtspiAccessible* window =
                        atspi_accessible_get_child_at_index(application, w, nullptr)) {
                    walk(window, 0, nodes);
                    g_object_unref(window);
                }
            }
        }
        g_object_unref(application);
    }
    g_object_unref(desktop);
    return nodes;
}

QStringList AccessibleTree::names(qint64 pid, const QString& role) {
    QStringList result;
    for (const AccessibleNode& node : of(pid))
        if (node.showing && (role.isEmpty() || node.role == role) && !node.name.isEmpty())
            result << node.name;
    return result;
}

QStringList AccessibleTree::windowTitles(qint64 pid) {
    QStringList result;
    for (const AccessibleNode& node : of(pid))
        if (node.depth == 0 && node.showing)
            result << node.name;
    return result;
}

std::optional<AccessibleNode> AccessibleTree::focused(qint64 pid) {
    // A container around the focused control may report the focus too; the control is the one
    // that can take it.
    for (const AccessibleNode& node : of(pid))
        if (node.focused && node.focusable && node.showing)
            return node;
    return std::nullopt;
}

QString AccessibleTree::dump(qint64 pid) {
    QString text;
    for (const AccessibleNode& node : of(pid)) {
        text += QString(node.depth * 2, QLatin1Char(' ')) + node.role + QStringLiteral(" '") +
                node.name + QLatin1Char('\'');
        if (!node.description.isEmpty())
            text += QStringLiteral(" (") + node.description + QLatin1Char(')');
        text += QLatin1String(node.showing ? "" : " hidden") +
                QLatin1String(node.focused ? " focused" : "") + QLatin1Char('\n');
    }
    return text;
}

void AccessibleTree::setBusEnabled(bool enabled) {
    QProcess::execute(QStringLiteral("dbus-send"),
                      {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                       QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                       QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                       QStringLiteral("string:org.a11y.Status"), QStringLiteral("string:IsEnabled"),
                       QStringLiteral("variant:boolean:%1").arg(enabled ? "true" : "false")});
}

} // namespace sayloom::testing
