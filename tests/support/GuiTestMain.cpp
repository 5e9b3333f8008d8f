// Test entry for window tests: a QApplication, on the offscreen platform unless one is chosen, so that
// the tests run (and are listed at build time) without a display.
#include "vsim/FleetStore.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's per-user folder is the test program's own: no test reads or writes the person's.
    const QTemporaryDir perUser;
    // So are the machine's records of SIMs in files.
    const QTemporaryDir machine;
    qputenv("QUORVEL_CONFIG_DIR", perUser.path().toLocal8Bit());
    qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
    // As the window program does: the table of handsets is noted where the records are.
    UseFleetStore();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
