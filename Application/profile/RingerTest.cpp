#include "profile/RingerTest.h"

#include "link/MailCodes.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <string>

bool TestRinger(THandsetConnection& link, TUserInteraction& ui, int tone) {
    if (tone < 1 || tone > 9)
        return false;
    bool ok = false;
    RunBusy(ui, [&] {
        if (!link.ConnectOrTell(ui, nullptr))
            return;
        ui.ShowStatus(FormatText(Texts::TestingRingerTone, std::to_string(tone).c_str()));
        // Any answer, or none, is taken from a handset still on the line; a lost line is no ringer test.
        link.Engine().SendMail(MailCode::RingerTest + FormatText("%X %X", unsigned(tone), 1u));
        if (link.Engine().LineLost()) {
            ui.ShowStatus("");
            ui.Message(TMessageKind::Error, FormatText(Texts::RingerNotKnown, std::to_string(tone).c_str()),
                       TButtons::Ok);
            return;
        }
        link.Engine().Pause(RingerStatusShown);
        ui.ShowStatus("");
        ok = true;
    });
    return ok;
}
