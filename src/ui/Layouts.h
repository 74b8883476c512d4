// The layouts of the program's three windows, as tables of values.
#pragma once

#include "forms/Layout.h"

namespace layouts {

// Setup window (TInstallForm), rows in stacking order.
struct InstallFormLayout {
  forms::FormLayout Form;
  forms::ControlLayout Label2, Image1, Label1, SetupButton, Button1, Button2, Edit1, FileListBox1;
};

// Progress window (TCompressForm).
struct CompressFormLayout {
  forms::FormLayout Form;
  forms::ControlLayout Label1, Label2, FileBar, AllBar;
};

// Wait window (TWaitForm).
struct WaitFormLayout {
  forms::FormLayout Form;
  forms::ControlLayout Label1, Label2;
};

extern const InstallFormLayout InstallForm;
extern const CompressFormLayout CompressForm;
extern const WaitFormLayout WaitForm;

// Name of the RCDATA resource holding Image1's stored picture.
inline constexpr char kImage1Resource[] = "IMAGE1";

}  // namespace layouts
