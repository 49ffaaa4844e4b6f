#pragma once

#include <QString>

#include <gtest/gtest.h>

// For tests that mean something only with a real part (an X server, a sound server, a program):
// `missing` says what is missing, or is empty when all is there. Under CI a missing part fails
// the test; elsewhere the test is skipped with the reason.
#define REQUIRE_REAL_PART(missing)                                                                 \
    do {                                                                                           \
        if (const QString missingPart = (missing); !missingPart.isEmpty()) {                       \
            if (!qEnvironmentVariableIsEmpty("CI"))                                                \
                FAIL() << missingPart.toStdString();                                               \
            GTEST_SKIP() << missingPart.toStdString();                                             \
        }                                                                                          \
    } while (false)
