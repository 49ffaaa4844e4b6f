#include "platform/linux/DesktopMotionPreference.h"

#include <QFile>
#include <QStandardPaths>

#include <gio/gio.h>

namespace sayloom::linux_desktop {

namespace {

const char* const kGnomeSchema = "org.gnome.desktop.interface";
const char* const kGnomeKey = "enable-animations";

GSettings* openGnomeInterface() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    // g_settings_new() ends the process on a missing schema: look it up first.
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, kGnomeSchema, TRUE);
    if (!schema)
        return nullptr;
    GSettings* settings = nullptr;
    if (g_settings_schema_has_key(schema, kGnomeKey))
        settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    return settings;
}

} // namespace

void DesktopMotionPreference::GSettingsDeleter::operator()(GSettings* settings) const {
    g_object_unref(settings);
}

DesktopMotionPreference::DesktopMotionPreference() : gnomeInterface_(openGnomeInterface()) {}

DesktopMotionPreference::~DesktopMotionPreference() = default;

bool DesktopMotionPreference::reduceMotion() const {
    if (gnomeInterface_ && !g_settings_get_boolean(gnomeInterface_.get(), kGnomeKey))
        return true;
    const QString kdeglobals =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/kdeglobals");
    QFile file(kdeglobals);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    return kdeglobalsReducesMotion(QString::fromUtf8(file.readAll()));
}

bool DesktopMotionPreference::kdeglobalsReducesMotion(const QString& text) {
    bool inKdeGroup = false;
    bool reduce = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inKdeGroup = line == u"[KDE]";
        } else if (inKdeGroup && line.startsWith(u"AnimationDurationFactor")) {
            // The last assignment wins, as with KDE's own reader.
            bool ok = false;
            const double factor = line.mid(line.indexOf(u'=') + 1).trimmed().toDouble(&ok);
            reduce = ok && factor == 0;
        }
    }
    return reduce;
}

} // namespace sayloom::linux_desktop
