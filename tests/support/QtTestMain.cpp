// Test entry for code that waits in the Qt event loop.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The program's per-user folder is the test program's own: no test reads or writes the person's.
    const QTemporaryDir perUser;
    // So are the machine's records of SIMs in files.
    const QTemporaryDir machine;
    qputenv("QUORVEL_CONFIG_DIR", perUser.path().toLocal8Bit());
    qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
