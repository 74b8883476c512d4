#include "ui/Layouts.h"

namespace layouts {

using namespace forms;

namespace {
constexpr FontSpec kFormFont{"ＭＳ Ｐゴシック", -12, false, clWindowText};
}  // namespace

// clang-format off
const InstallFormLayout InstallForm = {
  // class           caption  width height client position                  border                 on top colour    font
  {"TInstallForm",   "Setup", 439,  360,   false, TPosition::DesktopCenter, TBorderStyle::Sizeable, false, clBlack, kFormFont},
  // name            left top  width height text                     flags                                   own font
  {"Label2",         26,  282, 114,  12,   "セットアップ先フォルダ", cfAutoSize | cfOwnFont,                  {"ＭＳ Ｐゴシック", -12, false, clWhite}},
  {"Image1",         16,  14,  256,  256,  "",                       cfAutoSize},
  {"Label1",         240, 82,  180,  65,   "TITLE プログラム",        cfTransparent | cfWordWrap | cfOwnFont, {"MS UI Gothic", -19, true, clWhite}},
  {"SetupButton",    286, 172, 135,  35,   "修正パッチ当て開始",      cfNone, {}, 0},
  {"Button1",        286, 222, 135,  35,   "キャンセル",              cfNone, {}, 1},
  {"Button2",        360, 296, 43,   25,   "参照",                    cfNone, {}, 2},
  {"Edit1",          24,  298, 327,  20,   "",                       cfReadOnly, {}, 3},
  {"FileListBox1",   280, 6,   145,  97,   "",                       cfHidden, {}, 4, 0, 100, 12},
};

const CompressFormLayout CompressForm = {
  {"TCompressForm",  "進捗状況", 199, 135, true, TPosition::MainFormCenter, TBorderStyle::Dialog, true, clBtnFace, kFormFont},
  {"Label1",         10,  20,  179,  37,   "Label1",                 cfWordWrap},
  {"Label2",         10,  66,  83,   12,   "セットアップ状況",        cfAutoSize},
  {"FileBar",        10,  38,  180,  17,   "",                       cfHidden, {}, 0, 0, 100},
  {"AllBar",         10,  94,  180,  17,   "",                       cfSmooth, {}, 1, 0, 100},
};

const WaitFormLayout WaitForm = {
  {"TWaitForm",      "Please Wait", 233, 92, true, TPosition::MainFormCenter, TBorderStyle::Dialog, true, clBtnFace,
                     {"ＭＳ Ｐゴシック", -15, false, clWindowText}},
  {"Label1",         32,  25,  159,  12,   "セットアップの準備をしています", cfAutoSize | cfWordWrap | cfOwnFont, {"ＭＳ Ｐゴシック", -12, false, clWindowText}},
  {"Label2",         64,  55,  103,  12,   "しばらくお待ち下さい",    cfAutoSize | cfOwnFont,                 {"ＭＳ Ｐゴシック", -12, false, clWindowText}},
};
// clang-format on

}  // namespace layouts
