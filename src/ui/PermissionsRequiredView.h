#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace sayloom {

// The content of the window shown when a dictation cannot start for want of a microphone or of
// the session's keyboard access: what is missing, and the way to the settings that fix it.
class PermissionsRequiredView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 280;
    static QString windowTitle() { return QStringLiteral("Permissions required"); }

    struct Texts {
        QString title;
        QString body;
    };
    // What the view says for what is missing (the accessibility case when nothing is).
    static Texts texts(bool microphoneGranted, bool accessibilityGranted);

    PermissionsRequiredView(bool microphoneGranted, bool accessibilityGranted,
                            std::function<void()> onOpenSettings, std::function<void()> onDismiss,
                            QWidget* parent = nullptr);
};

} // namespace sayloom
