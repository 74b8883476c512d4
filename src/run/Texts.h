// Every text the patch run shows or depends on, in one place (CP932 once compiled).
// Texts of the layers below live with the code that raises them, as the
// framework's own: the file operations' errors in platform/ (FileOps,
// ResourceBlock, ScratchFile), the windows' errors in forms/, the chooser's
// captions and question in chooser/SelectDirDlg.cpp. The windows' captions and
// control texts stand in their layout tables, ui/Layouts.cpp.
#pragma once

#include "engine/ArchiveResource.h"
#include "text/PathRules.h"

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
static_assert(pathrules::EqualsIgnoringAsciiCase(kArchiveResourceName, archive::kArchiveName) &&
                  pathrules::EqualsIgnoringAsciiCase(kArchiveResourceType, archive::kArchiveType),
              "the program looks for the resource the packer writes");

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
// The same for the folder that holds this program, whose short name (where
// Windows gives one) does not help either: the scratch file goes there.
inline constexpr char kUnusableProgramFolderName[] =
    "このプログラムのあるフォルダの名前に使用できない文字が含まれています。英数字や日本語だけの名前のフォルダにこのプログラムを移動してから、もう一度お試し下さい";
// Messages of the version and shortcut step (the gaps in M5 and M6 are U+3000).
inline constexpr char kM4Done[] = "セットアップが正常に終了しました";
inline constexpr char kM5Exists[] = "同一のショートカットが存在したため　作成しませんでした";
inline constexpr char kM6Created[] = "既存のショートカットが見つかりません　新たに作成しました";
inline constexpr char kM7NoShortcut[] = "ショートカットが作成できませんでした";

// A run cut off earlier (the process ended, the power failed) was found in the
// game folder and finished first: undone, completed, or not yet fully undone.
inline constexpr char kRecoveredUndone[] = "前回のセットアップが中断されていたため、ゲームフォルダを元の状態に戻しました";
inline constexpr char kRecoveredCompleted[] =
    "前回のセットアップが中断されていたため、中断された修正パッチの適用を完了しました";
inline constexpr char kRestoreIncomplete[] =
    "ゲームフォルダを元の状態に戻しきれませんでした。もう一度このプログラムを起動すると、続きを行います";
// A cut-off run whose journal could not be read: only the originals it had
// set aside, found in its folder, could be put back.
inline constexpr char kRecoveredPutBack[] =
    "前回中断されたセットアップの記録を読めなかったため、退避されていた元のファイルだけを元の場所に戻しました";
// Originals that could not go back because another file now has their name:
// the folder that keeps them goes after this text, then the files, one a line.
inline constexpr char kKeptBefore[] = "セットアップで退避した元のファイルのうち、次のファイルは、その場所に別のファイルがあるため元に戻せませんでした。元のファイルは ";
inline constexpr char kKeptAfter[] = " に残してあります（不要であれば削除してかまいません）:";
inline constexpr char kKeptMore[] = "ほか ";  // + the number of further files
inline constexpr char kKeptMoreAfter[] = " 個のファイル";
// What keeps a cut-off run from being finished now; the window stays.
inline constexpr char kOtherSetupRunning[] =
    "このゲームフォルダでは別のセットアップが実行中です。そのセットアップが終了してから、もう一度お試し下さい";
inline constexpr char kOtherFormatBefore[] = "このゲームフォルダには、別のバージョンのセットアップが中断されたまま残っています（";
inline constexpr char kOtherFormatAfter[] =
    "）。そのセットアップをもう一度起動して完了させてから、もう一度お試し下さい";
// After a folder's path: a level of the game folder or of a file's folder
// that is a junction, a symbolic link or a mount point, or not a folder.
inline constexpr char kLinkedFolder[] =
    " はフォルダではないか、ジャンクションやシンボリックリンクなどのリンクです。安全のため、このフォルダへのセットアップは行いません";
// After a file's path: its new file was missing or not as written, even once
// written again, before anything was changed; or after it was put in place.
inline constexpr char kStagedFileChanged[] =
    " を正しく書き込めませんでした。セキュリティ対策ソフトなどがファイルを削除または変更した可能性があります。ゲームフォルダは変更していません。しばらくしてから、もう一度お試し下さい";
inline constexpr char kPlacedFileChanged[] =
    " を正しく配置できませんでした。セキュリティ対策ソフトなどがファイルを削除または変更した可能性があります。ゲームフォルダは元の状態に戻しました。しばらくしてから、もう一度お試し下さい";
// A path the run would use is longer than Windows opens: the file's path and
// its length, and the longest game folder that would do, go between.
inline constexpr char kPathTooLongBefore[] = " のパスは ";
inline constexpr char kPathTooLongMiddle[] =
    " 文字になり、セットアップ中に使うパスが Windows で扱える長さを超えます。ゲームフォルダのパスを ";
inline constexpr char kPathTooLongAfter[] = " 文字以内にして、もう一度お試し下さい";

// What would make the run fail, found before anything is touched. The file
// or program name goes before each text; the sizes into the space texts.
inline constexpr char kInUse[] = " は他のプログラムが使用中です。ゲームを終了してから、もう一度お試し下さい";
inline constexpr char kInUseByMiddle[] = " は ";  // "<file> は <program>" + kInUseBy
inline constexpr char kInUseBy[] = " が使用中です。ゲームを終了してから、もう一度お試し下さい";
inline constexpr char kReadOnly[] =
    " は読み取り専用のため置き換えられません。読み取り専用の属性を外してから、もう一度お試し下さい";
inline constexpr char kNoSpaceGame[] = "ゲームフォルダのドライブの空き容量が足りません。";
inline constexpr char kNoSpaceScratch[] = "このプログラムのあるドライブの空き容量が足りません。";
inline constexpr char kSpaceNeeded[] = "必要な空き容量: ";
inline constexpr char kSpaceFree[] = " MB、現在の空き容量: ";
inline constexpr char kSpaceAfter[] = " MB。空き容量を増やしてから、もう一度お試し下さい";

// The system could not give the run what it needs to start (an event).
inline constexpr char kNoSystemResources[] = "システム リソースが不足しています";

}  // namespace texts
