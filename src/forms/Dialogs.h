// The framework's modal boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace forms {

struct BoxButton {
  std::string Caption;
  int Result;
};

// A modal box built in code: the caption, an optional system icon (IDI_QUESTION …),
// the text word-wrapped to at most half the screen's width in the system's
// message font, and a row of buttons. Centred on the screen. Enter presses the
// default button, Escape gives `cancelResult`. Returns the result of the
// button pressed.
int ShowBox(const std::string& caption, const std::string& text, const wchar_t* icon,
            const std::vector<BoxButton>& buttons, size_t defaultButton, int cancelResult);

// The message box: application title, no icon, one "OK" that is both the
// default and the cancel button, the text unchanged.
void ShowMessage(const std::string& text);

// The error box: the system's message box owned by the application window,
// error icon, application title, the message with the trailing-period rule.
void ShowErrorBox(const std::string& message);

}  // namespace forms
