#pragma once

#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

// A program folder of the test's own, so that its settings files (program ini, settings.cfg) are
// neither shared with other tests running at the same time nor left behind. It holds the SIM
// interpreter list the build ships, as a program folder does, unless the test asks for none.
class TProgramFolderOverride {
public:
    explicit TProgramFolderOverride(bool withSimList = true) {
        qputenv("QUORVEL_PROGRAM_DIR", Folder.path().toLocal8Bit());
        if (withSimList && QDir(Folder.path()).mkpath("sim_list"))
            QFile::copy(ProgramFolder() + "/sim_list/VSIMLIST.xml", File("sim_list/VSIMLIST.xml"));
    }
    ~TProgramFolderOverride() { qunsetenv("QUORVEL_PROGRAM_DIR"); }
    TProgramFolderOverride(const TProgramFolderOverride&) = delete;
    TProgramFolderOverride& operator=(const TProgramFolderOverride&) = delete;

    QString Path() const { return Folder.path(); }
    QString File(const QString& name) const { return Folder.filePath(name); }

private:
    QTemporaryDir Folder;
};
