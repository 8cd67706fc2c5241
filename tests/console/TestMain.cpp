// Runs the console's tests inside the console's own application object, without a screen, in a
// scratch folder (the link appends its exchange log "fpllog.dat" to the current folder).

#include "Application.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    QTemporaryDir scratch;
    if (!scratch.isValid() || chdir(scratch.path().toLocal8Bit().constData()) != 0) return 2;
    const int result = RUN_ALL_TESTS();
    if (chdir("/") != 0) return 2;
    return result;
}
