#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

// A program folder of the test's own, so that its settings files (program ini, settings.cfg) are
// neither shared with other tests running at the same time nor left behind.
class TProgramFolderOverride {
public:
    TProgramFolderOverride() { qputenv("QUORVEL_PROGRAM_DIR", Folder.path().toLocal8Bit()); }
    ~TProgramFolderOverride() { qunsetenv("QUORVEL_PROGRAM_DIR"); }
    TProgramFolderOverride(const TProgramFolderOverride&) = delete;
    TProgramFolderOverride& operator=(const TProgramFolderOverride&) = delete;

    QString Path() const { return Folder.path(); }
    QString File(const QString& name) const { return Folder.filePath(name); }

private:
    QTemporaryDir Folder;
};
