#include "windows/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

TDesktopNotifier::~TDesktopNotifier() = default;

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
// The server's own choice of how long a notification stays.
constexpr int ServerTimeout = -1;

class TSessionBusNotifier : public TDesktopNotifier {
public:
    void Notify(const QString& summary, const QString& body) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        // The desktop entry names the program and its icon.
        const QString entry = QGuiApplication::desktopFileName();
        QVariantMap hints;
        if (!entry.isEmpty())
            hints.insert(QStringLiteral("desktop-entry"), entry);
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
        call << QGuiApplication::applicationDisplayName() << uint(0) << entry << summary << body
             << QStringList() << hints << ServerTimeout;
        bus.send(call);
    }
};

} // namespace

std::unique_ptr<TDesktopNotifier> MakeSessionBusNotifier() {
    return std::make_unique<TSessionBusNotifier>();
}
