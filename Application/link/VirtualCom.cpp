#include "link/VirtualCom.h"

TVirtualCom::~TVirtualCom() = default;

void TVirtualCom::NotifyReceived(std::span<const uint8_t> block) {
    if (!OnReceive)
        return;
    try {
        OnReceive(*this, block);
    } catch (...) {
        // A listener's failure must not tear down the port's notification.
    }
}

void TVirtualCom::NotifyLost() {
    if (!OnLost)
        return;
    try {
        OnLost(*this);
    } catch (...) {
        // As for received bytes: the port's error notification goes on.
    }
}
