// The engine's collection and checks of echo and answer under whatever the line delivers. The first
// byte chooses the mail and the answer layout (short or framed) and where the delivery is split in two
// notifications; the rest is what comes back on the line after the mail is sent. Whatever it is, the
// engine gives an answer text of whole hex bytes or none, and never reads outside what it collected.
#include "link/NumberConverting.h"
#include "link/Sndmail.h"
#include "link/VirtualCom.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// A line that answers every mail with the bytes given, in two notifications.
class TFuzzLine : public TVirtualCom {
public:
    bool IsOpen() override { return true; }
    uint8_t ComNumber() override { return 1; }
    int32_t Baud() override { return 115200; }
    bool CarrierDetect() override { return false; }
    bool ClearToSend() override { return false; }
    bool DataSetReady() override { return false; }
    bool Open(uint8_t, int32_t) override { return true; }
    bool Close() override { return true; }
    void SetDTR(bool) override {}
    void SetRTS(bool) override {}
    void FlushInput() override {}
    void FlushOutput() override {}
    void SetHardwareFlow(bool) override {}
    int32_t Write(const uint8_t*, int32_t count) override {
        const size_t split = std::min(Split, Reply.size());
        if (split > 0)
            NotifyReceived(std::span(Reply).first(split));
        if (split < Reply.size())
            NotifyReceived(std::span(Reply).subspan(split));
        return count;
    }

    std::vector<uint8_t> Reply;
    size_t Split = 0;
};

// The mails whose answers take each layout and length the engine knows.
constexpr const char* Mails[] = {"02 5D 16",
                                 "00 54 01 01",
                                 "0D 04 00",
                                 "0D 03 01",
                                 "02 3C 08 00 05 40 00",
                                 "0D 20",
                                 "02 3B 08 00 01 00 02 55"};

bool IsAnswerText(const std::string& text) {
    if (text.empty())
        return true;
    if ((text.size() + 1) % 3 != 0)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i % 3 == 2 ? text[i] != ' ' : !std::isxdigit(uint8_t(text[i])))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "mail_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size == 0)
        return 0;
    TFuzzLine line;
    line.Reply.assign(data + 1, data + size);
    line.Split = data[0] >> 4;
    TMailControl engine(line);
    // Short waits and no second tries: each input is one exchange, and thousands run a second.
    engine.AnswerTimeout = std::chrono::milliseconds(2);
    engine.GapTimeout = std::chrono::milliseconds(1);
    engine.WriteRetries = 1;
    engine.WritePause = std::chrono::milliseconds(0);
    engine.ReadTries = 1;
    engine.ReadPause = std::chrono::milliseconds(0);
    engine.SetFramedAnswer((data[0] & 0x08) != 0);
    const std::string answer = engine.SendMail(Mails[(data[0] & 0x07) % std::size(Mails)]);
    if (!IsAnswerText(answer))
        std::abort();
    return 0;
}
