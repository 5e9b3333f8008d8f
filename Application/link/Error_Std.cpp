#include "link/Error_Std.h"

std::string ErrorText(const std::string& message, const std::string& unit, const std::string& function) {
    return message + "\r\r" + "Unit: " + unit + "\r" + "Function: " + function;
}
