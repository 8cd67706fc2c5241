// Runs the console's tests on the workstation inside the console's own application object,
// without a screen, in a scratch folder (the link appends its exchange log "fpllog.dat" to the
// current folder).

#include "Application.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    // Qt's minimal platform with the system's fonts: this Qt for Windows has no offscreen one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(scratch.errorString()));
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    QDir::setCurrent(QDir::rootPath());
    return result;
}
