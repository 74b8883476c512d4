#include "forms/ErrorText.h"

#include "text/PathRules.h"

namespace forms {

std::string ErrorBoxText(const std::string& message) {
  if (message.empty()) return message;
  const auto last = static_cast<unsigned char>(message.back());
  if (pathrules::EndsWithDoubleByte(message) || last > '.') return message + ".";
  return message;
}

}  // namespace forms
