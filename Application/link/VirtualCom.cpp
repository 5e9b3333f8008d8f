#include "link/VirtualCom.h"

#include <QtGlobal>

#include <exception>

TVirtualCom::~TVirtualCom() = default;

void TVirtualCom::NotifyReceived(std::span<const uint8_t> block) {
    if (!OnReceive)
        return;
    try {
        OnReceive(*this, block);
    } catch (const std::exception& e) {
        // Said and dropped: a listener's failure must not tear down the port's notification.
        qWarning("A listener of the serial link failed on %zu received bytes: %s", block.size(), e.what());
    }
}

void TVirtualCom::NotifyLost() {
    if (!OnLost)
        return;
    try {
        OnLost(*this);
    } catch (const std::exception& e) {
        // As for received bytes: said and dropped, and the port's error notification goes on.
        qWarning("A listener of the serial link failed on the line's loss: %s", e.what());
    }
}
