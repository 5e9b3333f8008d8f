#pragma once

#include <QString>

#include <memory>

// A notification on the desktop, beside the program's windows: what the person sees while working in
// another program.
class TDesktopNotifier {
public:
    virtual ~TDesktopNotifier();
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// Through the desktop's notification service on the session bus (org.freedesktop.Notifications). Sent
// without waiting for an answer; without a session bus, or without the service on it, nothing is shown
// and nothing is said.
std::unique_ptr<TDesktopNotifier> MakeSessionBusNotifier();
