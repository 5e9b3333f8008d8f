// The profile commands against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

TEST(Ringer, TheHandsetHearsTheToneAsked) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};

    auto run = handset.Cli(port + QStringList{"ringer", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Ringer tone 3 played.\n");

    run = handset.Cli(port + QStringList{"ringer", "10"});
    EXPECT_EQ(run.exitCode, 2);

    // The handset keeps what it played in its state once the line has rested.
    QByteArray text;
    for (int i = 0; i < 50 && !text.contains("ringer 3 1"); ++i) {
        QThread::msleep(20);
        QFile file(state);
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
    }
    EXPECT_TRUE(text.contains("ringer 3 1\n")) << text.toStdString();
}
