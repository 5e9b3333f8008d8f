#pragma once

#include <QProcess>
#include <QString>

// The virtual handset the pictures are taken against, with a phone book and groups to show.
class THandset {
public:
    explicit THandset(const QString& programs);
    ~THandset();
    int Com = 0;

private:
    QProcess Process;
};
