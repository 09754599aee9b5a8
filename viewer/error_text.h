// The text the application's error display shows for an error message.
#pragma once

#include <string>

namespace talmiro {

// Adds a full stop when the code of the last character is above that of the full stop, so after a
// letter or a digit but not after a full stop, a space or a closing quote.
std::string ErrorDisplayText(std::string text);

} // namespace talmiro
