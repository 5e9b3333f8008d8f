#include "platform/UserInteraction.h"

TUserInteraction::~TUserInteraction() = default;
