#include "profile/RingerTest.h"

#include "link/Timing.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFormat.h"

#include <exception>
#include <string>

bool TestRinger(THandsetConnection& link, TUserInteraction& ui, int tone) {
    if (tone < 1 || tone > 9)
        return false;
    ui.SetBusy(true);
    bool ok = false;
    std::string exception;
    try {
        const int result = link.ConnectHandset();
        if (result < 1) {
            ui.Message(TMessageKind::Error, ConnectionResultText(result), TButtons::Ok);
        } else {
            ui.ShowStatus(FormatText(Texts::TestingRingerTone, std::to_string(tone).c_str()));
            link.Engine().SendMail(FormatText("05 4C %X %X", unsigned(tone), 1u));
            MsgDelay(RingerStatusMs);
            ui.ShowStatus("");
            ok = true;
        }
    } catch (const std::exception& e) {
        exception = e.what();
    }
    ui.SetBusy(false);
    if (!exception.empty())
        ui.Message(TMessageKind::Error, exception, TButtons::Ok);
    return ok;
}
