// The focused window in sway's tree, Wayland and X clients alike.

#include "platform/linux/SwayFrontmostApplication.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

TEST(SwayFrontmostApplication, FindsTheFocusedWindowAndItsName) {
    const struct {
        const char* name;
        const char* tree;
        std::optional<qint64> pid;
        std::optional<QString> id;
    } cases[] = {
        {"a Wayland window deep in a workspace",
         R"({"focused":false,"nodes":[{"type":"output","nodes":[{"type":"workspace","nodes":[
             {"pid":11,"app_id":"org.gnome.gedit","focused":false},
             {"pid":12,"app_id":"foot","focused":true}]}]}]})",
         12, QStringLiteral("foot")},
        {"a floating X window, named by its class",
         R"({"nodes":[{"type":"workspace","nodes":[],"floating_nodes":[
             {"pid":13,"app_id":null,"focused":true,"window_properties":{"class":"XTerm"}}]}]})",
         13, QStringLiteral("XTerm")},
        {"a window without a name", R"({"nodes":[{"pid":14,"focused":true}]})", 14, std::nullopt},
        {"an empty workspace has the focus",
         R"({"nodes":[{"type":"workspace","focused":true,"nodes":[]}]})", std::nullopt,
         std::nullopt},
        {"nothing focused", R"({"nodes":[{"pid":15,"app_id":"foot","focused":false}]})",
         std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto found =
            SwayFrontmostApplication::focusedIn(QJsonDocument::fromJson(c.tree).object());
        ASSERT_EQ(found.has_value(), c.pid.has_value());
        if (!found)
            continue;
        EXPECT_EQ(found->processIdentifier, *c.pid);
        EXPECT_EQ(found->applicationID, c.id);
    }
}

} // namespace
