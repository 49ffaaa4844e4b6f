// Presses and releases keys in a KWin session through KWin's fake-input protocol, as a keyboard
// of the seat: the keys go through KWin's input pipeline, its global shortcuts included. KWin
// grants the protocol without asking when KWIN_WAYLAND_NO_PERMISSION_CHECKS is set.
//
// Usage: sayloom_kwin_fake_keys STEP...  where a step is +CODE (press), -CODE (release) or a
// number of milliseconds to wait; codes are the kernel's (linux/input-event-codes.h).

#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

org_kde_kwin_fake_input* fakeInput = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{global, globalRemove};

} // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot connect to the Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        std::fprintf(stderr, "the compositor offers no fake input (version 4)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "Sayloom tests", "presses test keys");
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        if (step[0] == '+' || step[0] == '-') {
            const auto code = static_cast<uint32_t>(std::strtoul(step.c_str() + 1, nullptr, 10));
            org_kde_kwin_fake_input_keyboard_key(fakeInput, code, step[0] == '+' ? 1 : 0);
            wl_display_roundtrip(display);
        } else {
            // A key held for a while, as a person holds the hotkey: the time is what is tested.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(step.c_str())));
        }
    }
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
