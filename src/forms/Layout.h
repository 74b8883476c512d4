// Layout data of forms and controls: what the designer's tables say, as values.
//
// Positions and sizes are pixels at 96 dpi; TForm scales them to the screen.
#pragma once

#include <cstdint>

namespace forms {

// Colours: plain RGB (0x00BBGGRR) or a system colour (0x80000000 | COLOR_xxx).
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindowText = 0x80000008;  // COLOR_WINDOWTEXT
constexpr TColor clBtnFace = 0x8000000F;     // COLOR_BTNFACE
constexpr TColor clGrayText = 0x80000011;    // COLOR_GRAYTEXT
constexpr TColor clWindow = 0x80000005;      // COLOR_WINDOW

constexpr unsigned char SHIFTJIS_CHARSET_ = 128;

struct FontSpec {
  const char* Face = "ＭＳ Ｐゴシック";
  int Height = -12;  // negative: character height in pixels, internal leading not counted
  bool Bold = false;
  TColor Color = clWindowText;
  unsigned char Charset = SHIFTJIS_CHARSET_;
};

// Control flags.
enum : unsigned {
  cfNone = 0,
  cfAutoSize = 1u << 0,     // size follows the text (labels) or the picture (images)
  cfTransparent = 1u << 1,  // label paints no background
  cfWordWrap = 1u << 2,
  cfReadOnly = 1u << 3,
  cfHidden = 1u << 4,       // Visible = false
  cfSmooth = 1u << 5,       // progress bar drawn as one continuous bar
  cfOwnFont = 1u << 6,      // the control has its own font (FontSpec) instead of its form's
};

struct ControlLayout {
  const char* Name;
  int Left, Top, Width, Height;
  const char* Text;
  unsigned Flags = cfNone;
  FontSpec Font = {};    // used when cfOwnFont is set
  int TabOrder = -1;     // windowed controls: position in tab order
  int Min = 0, Max = 100;  // progress bars
  int ItemHeight = 0;      // list boxes
};

enum class TPosition { DesktopCenter, MainFormCenter, ScreenCenter };
enum class TBorderStyle { Sizeable, Dialog };

struct FormLayout {
  const char* ClassName;  // window class, e.g. "TInstallForm"
  const char* Caption;
  int Width, Height;      // outer size (ClientSize false) or client size (true)
  bool ClientSize;
  TPosition Position;
  TBorderStyle BorderStyle;
  bool StayOnTop;
  TColor Color;
  FontSpec Font;
};

}  // namespace forms
