// The desktop notification at the end of a long job: told once, in the words of the window's own
// message or status line, while the person is in another window; not while the window is watched, not
// for a short job; and nothing at all without a session bus.
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ShownWindow.h"

#include "windows/DesktopNotifier.h"
#include "windows/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

class TRecordingNotifier : public TDesktopNotifier {
public:
    void Notify(const QString& summary, const QString& body) override { Told.emplace_back(summary, body); }
    std::vector<std::pair<QString, QString>> Told;
};

struct JobEndNotice : TWindowFixture {
    JobEndNotice()
        : TWindowFixture("PHONE_BOOK=ON\r\n") {}

    // The person goes to another program's window.
    void Away() {
        elsewhere.show();
        elsewhere.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    }
    static void Back(TMainForm& form) {
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    // Test Connection, whose outcome is a message box; its text.
    static QString TestConnection(TMainForm& form) {
        TModalAnswerer answerer;
        form.findChild<QAction*>("miTestConnection")->trigger();
        QApplication::processEvents();
        return answerer.Texts.empty() ? QString() : answerer.Texts.front();
    }
    // A phone book read, whose outcome is the status line.
    static void Read(TMainForm& form) {
        const TModalAnswerer answerer;
        Click(form, "bbtnLoadFromPp");
        QApplication::processEvents();
        EXPECT_TRUE(answerer.Texts.empty());
    }

    QWidget elsewhere;
    std::shared_ptr<TRecordingNotifier> notifier = std::make_shared<TRecordingNotifier>();
};

TEST_F(JobEndNotice, ALongJobEndingUnwatchedIsToldOnceWithItsOutcome) {
    THandsetProcess handset({"--phonebook-entries", "3"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    // Without a progress window: the offscreen platform would leave no window active once it closes,
    // where a desktop gives the activation back to the main window.
    form->SetWindows(nullptr, &saveQuestion, nullptr);
    // Every job counts as long.
    form->SetDesktopNotifier(notifier, 0ms);

    Away();
    const QString box = TestConnection(*form);
    ASSERT_FALSE(box.isEmpty());
    ASSERT_EQ(notifier->Told.size(), 1u) << "once, though the busy state ended too";
    EXPECT_EQ(notifier->Told[0].first, "Quorvel");
    EXPECT_EQ(notifier->Told[0].second, box);

    Away();
    Read(*form);
    ASSERT_EQ(notifier->Told.size(), 2u);
    EXPECT_EQ(notifier->Told[1].second, Status(*form));
    EXPECT_FALSE(Status(*form).isEmpty());

    // (A closed box leaves no window active offscreen: the window is taken back each time.)
    Back(*form);
    EXPECT_FALSE(TestConnection(*form).isEmpty());
    Back(*form);
    Read(*form);
    EXPECT_EQ(notifier->Told.size(), 2u) << "nothing while the window is watched";

    form->SetDesktopNotifier(notifier, 1h);
    Away();
    EXPECT_FALSE(TestConnection(*form).isEmpty());
    Away();
    Read(*form);
    EXPECT_EQ(notifier->Told.size(), 2u) << "nothing for a short job";
}

TEST(SessionBusNotifier, WithoutASessionBusShowsNothingAndSaysNothing) {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-test-bus");
    EXPECT_NO_THROW(MakeSessionBusNotifier()->Notify("Quorvel", "Finished reading."));
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

} // namespace
