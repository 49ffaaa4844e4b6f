#include "ui/PermissionsRequiredView.h"

#include "support/PlatformText.h"
#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sayloom {

PermissionsRequiredView::Texts PermissionsRequiredView::texts(bool microphoneGranted,
                                                              bool accessibilityGranted) {
    if (!microphoneGranted && !accessibilityGranted)
        return {QStringLiteral("Permissions required"),
                platformText(PlatformTextKey::permissionsNeededBoth)};
    if (!microphoneGranted)
        return {QStringLiteral("Microphone access needed"),
                platformText(PlatformTextKey::permissionsNeededMicrophone)};
    return {QStringLiteral("Accessibility access needed"),
            platformText(PlatformTextKey::permissionsNeededAccessibility)};
}

PermissionsRequiredView::PermissionsRequiredView(bool microphoneGranted, bool accessibilityGranted,
                                                 std::function<void()> onOpenSettings,
                                                 std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent) {
    const Texts shown = texts(microphoneGranted, accessibilityGranted);
    auto* icon = makeIconLabel(
        themedViewIcon(QStringLiteral("system-lock-screen"), QStringLiteral("lock")), 36, this);
    auto* heading = makeTextLabel(shown.title, 16, QFont::DemiBold, this);
    auto* body = makeTextLabel(shown.body, 13, QFont::Normal, this);
    body->setTextFormat(Qt::PlainText);

    auto* dismiss = new QPushButton(QStringLiteral("Dismiss"), this);
    auto* openSettings = new QPushButton(QStringLiteral("Open Settings"), this);
    openSettings->setDefault(true);
    // The callbacks may close the window and destroy this view: nothing here runs after them.
    connect(openSettings, &QPushButton::clicked, this,
            [onOpenSettings = std::move(onOpenSettings)] {
                if (onOpenSettings)
                    onOpenSettings();
            });
    connect(dismiss, &QPushButton::clicked, this, [onDismiss = std::move(onDismiss)] {
        if (onDismiss)
            onDismiss();
    });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(dismiss, 1);
    buttons->addWidget(openSettings, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(0);
    layout->addWidget(icon);
    layout->addSpacing(12);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(body);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

} // namespace sayloom
