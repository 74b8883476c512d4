// A small form framework over Win32: the application object
// (forms/Application.h), forms built from layout tables (forms/Form.h), and
// the controls this program uses (forms/Controls.h). The boxes are in
// forms/Dialogs.h.
#pragma once

#include "forms/Application.h"
#include "forms/Controls.h"
#include "forms/Form.h"
