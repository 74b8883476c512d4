// Text rules of the framework's boxes (portable).
#pragma once

#include <string>

namespace forms {

// The error box shows an exception's message with a "." appended when the
// message is not empty and ends in a double-byte character or in a byte above
// '.' (0x2E); a message ending in '.', '!', ',', a space or the like is shown
// as it is.
std::string ErrorBoxText(const std::string& message);

}  // namespace forms
