#include "platform/UserInteraction.h"

#include <exception>

TUserInteraction::~TUserInteraction() = default;

void TUserInteraction::HandsetConnected(int, uint8_t) {}
bool TUserInteraction::HandsetIdentified(const THandsetIdentity&) {
    return true;
}

bool TUserInteraction::ConfirmPlan(const TWritePlan&) {
    return true;
}

void TUserInteraction::ShowListEntry(TListKind, int) {}

std::string TUserInteraction::AskFileName(bool, const char*, const char*) {
    return {};
}

bool RunBusy(TUserInteraction& ui, const std::function<void()>& operation) {
    ui.SetBusy(true);
    std::string exception;
    try {
        operation();
    } catch (const std::exception& e) {
        exception = e.what();
    }
    ui.SetBusy(false);
    if (exception.empty())
        return true;
    ui.Message(TMessageKind::Error, exception, TButtons::Ok);
    return false;
}
