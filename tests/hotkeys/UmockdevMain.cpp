#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// The mock input devices need umockdev's preload library in the process from its start: the
// binary runs itself again under umockdev-wrapper unless the library is loaded. Where the wrapper
// cannot be run, the tests run without it and fail (under CI) or are skipped, saying why.
int main(int argc, char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    const bool loaded =
        preload && std::string_view(preload).find("libumockdev-preload") != std::string_view::npos;
    if (!loaded && !std::getenv("SAYLOOM_UMOCKDEV_REEXEC")) {
        setenv("SAYLOOM_UMOCKDEV_REEXEC", "1", 1);
#if defined(__SANITIZE_ADDRESS__)
        // The preload library comes before the sanitizer's runtime in the library list.
        const char* options = std::getenv("ASAN_OPTIONS");
        const std::string asanOptions = std::string(options ? options : "") +
                                        (options && *options ? ":" : "") +
                                        "verify_asan_link_order=0";
        setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
#endif
        std::vector<char*> arguments{const_cast<char*>("umockdev-wrapper")};
        arguments.insert(arguments.end(), argv, argv + argc);
        arguments.push_back(nullptr);
        execvp("umockdev-wrapper", arguments.data());
        // Not found: go on without it.
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
