#include "cli/CliRecording.h"

#include "cli/CliOptions.h"
#include "cli/Command.h"

#include <cstdio>

std::unique_ptr<TMailRecorder> OpenRecording(const std::optional<std::string>& path) {
    if (!path)
        return nullptr;
    try {
        auto recorder = std::make_unique<TMailRecorder>(*path);
        recorder->OnFailure = [](const std::string& failure) { PrintMessage(failure); };
        return recorder;
    } catch (const ERecordingError& e) {
        throw TUsageError(e.what());
    }
}
