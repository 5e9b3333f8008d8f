#pragma once

#include <string>

// The standard error text carried by the exceptions of the link units:
// message, CR, CR, "Unit: " unit, CR, "Function: " signature.
std::string ErrorText(const std::string& message, const std::string& unit, const std::string& function);
