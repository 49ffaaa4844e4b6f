#include "BuildConfig.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "sayloom " << sayloom::build::kVersion << "\n";
    return 0;
}
