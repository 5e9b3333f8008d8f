#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

// The folder with the built programs.
QString ProgramFolder();

// A virtual handset on its own pseudo-terminal, for as long as the object lives. Each one gets a
// per-user folder of its own, which the test's engine and tools share through QUORVEL_CONFIG_DIR.
class THandsetProcess {
public:
    explicit THandsetProcess(const QStringList& options = {});
    // With what it writes on stderr going to a file, which no pipe between it and the test can hold up (a
    // handset that logs every frame writes more than a pipe holds while a tool talks to it).
    THandsetProcess(const QStringList& options, const QString& errorFile);
    // With the per-user folder of another, so that both are in one device map (a station).
    THandsetProcess(const QStringList& options, const THandsetProcess& sharing);
    ~THandsetProcess();

    bool Started() const { return Com > 0; }
    int ComNumber() const { return Com; }
    const std::string& Device() const { return Path; }
    QString ConfigDir() const { return SharedConfig.isEmpty() ? Config.path() : SharedConfig; }

    // Ends the handset as a pulled cable would: at once, without a word.
    void Kill();
    // Waits for the handset to end by itself; gives its exit code, or -1.
    int WaitForExit(int ms);
    // Ends the handset as Ctrl-C would and gives its exit code, or -1.
    int Stop();
    // What the handset wrote on stderr so far.
    std::string Errors();

    // Runs quorvel-cli against this handset; gives the exit code, stdout and stderr.
    struct TRun {
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    TRun Cli(const QStringList& args, int timeoutMs = 30000) const;

private:
    void Start(const QStringList& options);

    QTemporaryDir Config;
    QString SharedConfig;
    QString ErrorFile;
    QProcess Process;
    std::string ErrorText;
    int Com = 0;
    std::string Path;
};

// The byte at an address of a virtual handset's memory as its state file holds it. The handset writes
// the file once the line has rested, so this waits (up to WaitFor's deadline) for `expected` to show; -1
// when the file has no row for the address, which for an `expected` 0xFF is the awaited answer: the
// handset leaves rows of FF bytes out.
int StateMemoryByte(const QString& state, int address, int expected);

// The line of a virtual handset's state file that begins with key and a blank ("groups 5 7"), waiting
// (up to WaitFor's deadline) for it to read `expected`; empty when the file has no such line.
std::string StateLine(const QString& state, const std::string& key, const std::string& expected);

// How many of the frames a handset's log (--log) shows it received change what it holds: memory writes,
// phone book appends and its delete, group adds and their delete.
int ChangingFrames(const std::string& log);
