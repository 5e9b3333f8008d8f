#include "profile/ProfileTransfer.h"

#include "platform/PhoneBookResourceStrings.h"

#include <string>

namespace {

// The profile is read and written with short answers; every other operation expects framed ones.
class TShortAnswers {
public:
    explicit TShortAnswers(TMailControl& engine)
        : Engine(engine) {
        Engine.SetFramedAnswer(false);
    }
    ~TShortAnswers() { Engine.SetFramedAnswer(true); }
    TShortAnswers(const TShortAnswers&) = delete;
    TShortAnswers& operator=(const TShortAnswers&) = delete;

private:
    TMailControl& Engine;
};

} // namespace

TProfileTransfer::TProfileTransfer(THandsetConnection& link, TUserInteraction& ui)
    : Link(link)
    , Ui(ui) {}

bool TProfileTransfer::ReadFromHandset() {
    bool ok = false;
    RunBusy(Ui, [this, &ok] {
        const int result = Link.ConnectHandset();
        if (result <= 0) {
            Ui.Message(TMessageKind::Error, ConnectionFailureText(result, Texts::CouldNotReadProfile),
                       TButtons::Ok);
            return;
        }
        Ui.ShowStatus(Texts::ReadingFromHandset);
        TShortAnswers shortAnswers(Link.Engine());
        TProfileSettings settings(Link.Engine());
        if (settings.ReadFromHandset() != TProfileSettings::Done) {
            Ui.Message(TMessageKind::Error, Texts::CouldNotReadProfile, TButtons::Ok);
            Ui.ShowStatus("");
            return;
        }
        if (ShowProfile)
            ShowProfile(settings);
        Ui.ShowStatus(Texts::ProfileRead);
        ok = true;
    });
    return ok;
}

bool TProfileTransfer::WriteToHandset() {
    if (Ui.Message(TMessageKind::Confirmation, Texts::ReplaceProfileQuestion, TButtons::OkCancel) !=
        TAnswer::Ok)
        return false;
    bool ok = false;
    RunBusy(Ui, [this, &ok] {
        const int result = Link.ConnectHandset();
        if (result <= 0) {
            Ui.Message(TMessageKind::Error, ConnectionFailureText(result, Texts::CouldNotWriteProfile),
                       TButtons::Ok);
            return;
        }
        Ui.ShowStatus(Texts::WritingToHandset);
        TShortAnswers shortAnswers(Link.Engine());
        TProfileSettings settings(Link.Engine());
        if (settings.ReadFromHandset() == TProfileSettings::Done) {
            if (TakeProfile)
                TakeProfile(settings);
            if (settings.WriteToHandset() == TProfileSettings::Done) {
                Ui.ShowStatus(Texts::ProfileWritten);
                ok = true;
                return;
            }
        }
        Ui.Message(TMessageKind::Error, Texts::CouldNotWriteProfile, TButtons::Ok);
        Ui.ShowStatus("");
    });
    return ok;
}
