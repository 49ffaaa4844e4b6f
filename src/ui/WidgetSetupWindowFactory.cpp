#include "ui/WidgetSetupWindowFactory.h"

#include "ui/DictationKeyGuard.h"
#include "ui/OnboardingView.h"
#include "ui/SettingsView.h"
#include "ui/WidgetWindow.h"

namespace sayloom {

WidgetSetupWindowFactory::WidgetSetupWindowFactory(Collaborators collaborators)
    : c_(std::move(collaborators)) {}

std::unique_ptr<AppWindow> WidgetSetupWindowFactory::makeSettingsWindow() {
    auto window = std::make_unique<WidgetWindow>(
        SettingsView::windowTitle(), QSize(SettingsView::kWidth, SettingsView::kHeight),
        new SettingsView({c_.settings, c_.account, c_.engine, c_.updates, c_.links,
                          c_.openPermissionSettings, c_.hotkeyRoad}));
    new DictationKeyGuard(c_.engine, c_.scheduler, window->widget());
    return window;
}

std::unique_ptr<AppWindow>
WidgetSetupWindowFactory::makeOnboardingWindow(std::function<void()> onComplete) {
    auto window = std::make_unique<WidgetWindow>(
        OnboardingView::windowTitle(), QSize(OnboardingView::kWidth, OnboardingView::kHeight),
        new OnboardingView(
            {c_.settings, c_.engine, c_.scheduler, c_.openPermissionSettings, std::move(onComplete),
             c_.accessibilitySwitchedOn && c_.accessibilitySwitchedOn(), c_.hotkeyRoad}));
    new DictationKeyGuard(c_.engine, c_.scheduler, window->widget());
    return window;
}

} // namespace sayloom
