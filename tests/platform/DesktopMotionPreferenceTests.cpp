#include "RealPartRequirement.h"

#include "platform/linux/DesktopMotionPreference.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <gio/gio.h>

using sayloom::linux_desktop::DesktopMotionPreference;

namespace {

TEST(DesktopMotionPreference, KdeAnimationFactorOfZeroReducesMotion) {
    const std::pair<const char*, bool> cases[] = {
        {"[General]\nfont=x\n\n[KDE]\nAnimationDurationFactor=0\n", true},
        {"[KDE]\n  AnimationDurationFactor[$i] = 0.0\n", true},
        {"[KDE]\nAnimationDurationFactor=0.5\n", false},
        {"[General]\nAnimationDurationFactor=0\n", false},
        {"[KDE]\nAnimationDurationFactor=0\n[KDE]\nAnimationDurationFactor=1\n", false},
    };
    for (const auto& [text, reduce] : cases)
        EXPECT_EQ(DesktopMotionPreference::kdeglobalsReducesMotion(QString::fromUtf8(text)), reduce)
            << text;
}

// GSettings in memory and kdeglobals in a temporary folder: the real desktop stays untouched.
TEST(DesktopMotionPreference, AsksGnomeThenKde) {
    qputenv("GSETTINGS_BACKEND", "memory");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        schemas ? g_settings_schema_source_lookup(schemas, "org.gnome.desktop.interface", TRUE)
                : nullptr;
    REQUIRE_REAL_PART(schema ? QString() : QStringLiteral("the GNOME desktop schemas are missing"));
    g_settings_schema_unref(schema);

    DesktopMotionPreference preference;
    EXPECT_FALSE(preference.reduceMotion());
    GSettings* settings = g_settings_new("org.gnome.desktop.interface");
    g_settings_set_boolean(settings, "enable-animations", FALSE);
    EXPECT_TRUE(preference.reduceMotion());
    g_settings_set_boolean(settings, "enable-animations", TRUE);
    g_object_unref(settings);

    QFile kdeglobals(config.filePath(QStringLiteral("kdeglobals")));
    ASSERT_TRUE(kdeglobals.open(QIODevice::WriteOnly));
    kdeglobals.write("[KDE]\nAnimationDurationFactor=0\n");
    kdeglobals.close();
    EXPECT_TRUE(preference.reduceMotion());
}

} // namespace
