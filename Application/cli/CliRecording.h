#pragma once

#include "link/MailRecorder.h"

#include <memory>
#include <optional>
#include <string>

// The recording that --record asks for, open before the handset is spoken to; none without the option.
// A file that cannot be written ends the tool with a usage error; a recording that stops later is told
// on stderr.
std::unique_ptr<TMailRecorder> OpenRecording(const std::optional<std::string>& path);
