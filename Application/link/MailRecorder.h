#pragma once

#include "link/Sndmail.h"

#include <functional>
#include <stdexcept>
#include <string>

// Cannot record to the file named: the reason for the person.
class ERecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes every transaction to a file as it ends, one JSON line each (TMailRecord). Each line goes out
// whole in one write, so a program that is killed leaves complete lines behind.
class TMailRecorder : public TMailRecordListener {
public:
    // Opens path, replacing an older recording there. Raises ERecordingError when the file cannot be
    // written, or when it holds something other than a recording, which is left as it is.
    explicit TMailRecorder(const std::string& path);
    ~TMailRecorder() override;
    TMailRecorder(const TMailRecorder&) = delete;
    TMailRecorder& operator=(const TMailRecorder&) = delete;

    void MailRecorded(const TMailRecord& record) override;

    const std::string& Path() const { return FilePath; }
    // Why the recording stopped; empty while every line was written.
    const std::string& Failure() const { return Failed; }
    // Told once, when a line cannot be written; the recording stops there.
    std::function<void(const std::string& failure)> OnFailure;

private:
    std::string FilePath;
    int Fd = -1;
    std::string Failed;
};
