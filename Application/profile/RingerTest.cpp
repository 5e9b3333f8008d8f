#include "profile/RingerTest.h"

#include "link/Timing.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFormat.h"

#include <string>

bool TestRinger(THandsetConnection& link, TUserInteraction& ui, int tone) {
    if (tone < 1 || tone > 9)
        return false;
    bool ok = false;
    RunBusy(ui, [&] {
        if (!link.ConnectOrTell(ui, nullptr))
            return;
        ui.ShowStatus(FormatText(Texts::TestingRingerTone, std::to_string(tone).c_str()));
        link.Engine().SendMail(FormatText("05 4C %X %X", unsigned(tone), 1u));
        MsgDelay(RingerStatusMs);
        ui.ShowStatus("");
        ok = true;
    });
    return ok;
}
