// Every text the program shows or depends on, in one place (CP932 once compiled).
#pragma once

namespace texts {

// Application title: taskbar entry and caption of every box. The two gaps are U+3000.
inline constexpr char kApplicationTitle[] = "カリオンのAster体験版　修正パッチ　セットアップ";
// The game title: title label, message M2, desktop shortcut name.
inline constexpr char kGameTitle[] = "0(カリオン)のAster";
inline constexpr char kTitlePlaceholder[] = "TITLE";

inline constexpr char kDefaultFolderName[] = "kaster";  // default game folder beside the installer
inline constexpr char kScratchFileName[] = "work.tmp";
inline constexpr char kGameProgram[] = "\\Game02.exe";
inline constexpr char kVersionFile[] = "version.txt";
inline constexpr char kShortcutExtension[] = ".lnk";
inline constexpr char kProgramFiles[] = "c:\\Program Files";

inline constexpr char kArchiveResourceName[] = "kaster";
inline constexpr char kArchiveResourceType[] = "smf";

// Messages of the patch run.
inline constexpr char kM1NoFolder[] = "体験版がセットアップされたフォルダを指定して下さい";
inline constexpr char kM2Before[] = "指定されたフォルダには";
inline constexpr char kM2After[] = "がセットアップされていません";
inline constexpr char kM3Failed[] = "セットアップが正常に終了できませんでした";
// Shown before M3 when a sub-folder of the game folder could not be made.
inline constexpr char kFolderFailed[] = "ディレクトリを作成できませんでした";
// The game folder's name holds a character that code page 932 cannot hold
// exactly: no file is acted on through a look-alike name.
inline constexpr char kUnusableFolderName[] = "フォルダ名に使用できない文字が含まれています";
// Messages of the version and shortcut step (the gaps in M5 and M6 are U+3000).
inline constexpr char kM4Done[] = "セットアップが正常に終了しました";
inline constexpr char kM5Exists[] = "同一のショートカットが存在したため　作成しませんでした";
inline constexpr char kM6Created[] = "既存のショートカットが見つかりません　新たに作成しました";
inline constexpr char kM7NoShortcut[] = "ショートカットが作成できませんでした";

}  // namespace texts
