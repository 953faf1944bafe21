// The framework's settings file, Polvane.ini in the host's Extensions folder: key=value lines, read once
// per process.
#pragma once

#include <string>
#include <string_view>

namespace Polvane {

// The value of key, or "" when absent. Never called in a built application or the test run-time.
std::string GetIniSetting(std::string_view key);

} // namespace Polvane
