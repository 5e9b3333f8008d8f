#include "profile/ProfileTransfer.h"

#include "platform/PhoneBookResourceStrings.h"
#include "profile/ProfileLists.h"

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

std::optional<TProfileValues> TProfileTransfer::ReadFromHandset() {
    std::optional<TProfileValues> values;
    RunBusy(Ui, [this, &values] {
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
        values.emplace();
        for (const TProfileField& field : TProfileSettings::Fields())
            (*values)[size_t(field.Setting)] = settings.Get(field.Setting);
        Ui.ShowStatus(Texts::ProfileRead);
    });
    return values;
}

std::optional<uint32_t> TProfileTransfer::WriteToHandset(const TProfileValues& wanted) {
    if (Ui.Message(TMessageKind::Confirmation, Texts::ReplaceProfileQuestion, TButtons::OkCancel) !=
        TAnswer::Ok)
        return std::nullopt;
    std::optional<uint32_t> written;
    RunBusy(Ui, [this, &wanted, &written] {
        const int result = Link.ConnectHandset();
        if (result <= 0) {
            Ui.Message(TMessageKind::Error, ConnectionFailureText(result, Texts::CouldNotWriteProfile),
                       TButtons::Ok);
            return;
        }
        const std::optional<uint8_t> level = Link.HandsetLevelNow();
        if (!level) {
            Ui.Message(TMessageKind::Error, Texts::HandsetLevelUnknown, TButtons::Ok);
            return;
        }
        Ui.ShowStatus(Texts::WritingToHandset);
        TShortAnswers shortAnswers(Link.Engine());
        TProfileSettings settings(Link.Engine());
        if (settings.ReadFromHandset() == TProfileSettings::Done) {
            const uint32_t handsetHas = SettingsOfLevel(*level);
            for (const TProfileField& field : TProfileSettings::Fields())
                if (const std::optional<int>& value = wanted[size_t(field.Setting)];
                    value && (handsetHas & field.Bit()) != 0)
                    settings.Set(field.Setting, *value);
            if (settings.WriteToHandset() == TProfileSettings::Done) {
                Ui.ShowStatus(Texts::ProfileWritten);
                written = settings.Changed;
                return;
            }
        }
        Ui.Message(TMessageKind::Error, Texts::CouldNotWriteProfile, TButtons::Ok);
        Ui.ShowStatus("");
    });
    return written;
}
