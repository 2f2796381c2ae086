#pragma once

#include <QString>

// Titles and bodies of the batch fortune's message boxes.
namespace kanaroll::batchmsg {

// Question notice before an animated batch run.
inline const QString kModeTitle = QStringLiteral("モード確認");
inline const QString kModeBody = QStringLiteral(
    "わくわくモードになっています。判断対象が多いと時間がかかります。\r\n\r\n"
    "動作中でも切り替えができますので必要に応じてさくさくモードに切り替えてください。");

// Yes-no question before saving.
inline const QString kSaveTitle = QStringLiteral("保存確認");
inline const QString kSaveBody = QStringLiteral(
    "一括相性占いの結果をテキストファイル形式で保存します。\r\n\r\n");

// Information notice after a save.
inline const QString kSavedTitle = QStringLiteral("保存終了");
inline const QString kSavedBody = QStringLiteral(
    "一括判断の結果を <一括判断.txt>として保存しました。\r\n\r\n"
    "データはメモ帳やエクセルなどで開くことができます。");

// Asked before an empty grid left by a run over names replaces a file that
// holds rows; Cancel, the default, keeps the file.
inline const QString kEmptySaveTitle = QStringLiteral("上書き確認");
inline const QString kEmptySaveBody = QStringLiteral(
    "一覧に結果がありません。このまま保存すると <一括判断.txt> の前の結果が消え、空のファイルになります。\r\n\r\n"
    "空のファイルで置き換えるときは OK を、前の結果を残すときはキャンセルを押してください。");

// Warning notice when the file could not be written; the old file is kept.
inline const QString kSaveFailedTitle = QStringLiteral("保存先確認");
inline const QString kSaveFailedBody = QStringLiteral(
    "一括判断の結果を <一括判断.txt>として保存できませんでした。\r\n\r\n"
    "作業フォルダに書き込めるか、ディスクに空きがあるかを確認してください。");
// Same title; a name the file's code page cannot hold. %1 is the name.
inline const QString kSaveUnencodableBody = QStringLiteral(
    "一括判断の結果を <一括判断.txt>として保存できませんでした。\r\n\r\n"
    "シフトJISで書けない文字を含む名前「%1」があります。");

// Warning notice when a run's rows do not fit in the memory; the grid keeps
// the rows it had.
inline const QString kMemoryTitle = QStringLiteral("メモリ確認");
inline const QString kRunNoMemoryBody = QStringLiteral(
    "一括相性占いの結果を入れるメモリが足りません。\r\n\r\n"
    "一覧には前の結果が残っています。ほかのプログラムを閉じるか、名前を減らしてから、もう一度占ってください。");

// Yes-no question before printing.
inline const QString kPrintTitle = QStringLiteral("印刷確認");
inline const QString kPrintBody = QStringLiteral("一括相性占いの結果を印刷します\r\n\r\n");

// Warning notices when printing is not possible.
inline const QString kPrinterTitle = QStringLiteral("プリンタ確認");
inline const QString kNoPrinterBody = QStringLiteral(
    "通常使うプリンタが見つかりません。\r\n\r\n"
    "プリンタを設定してから、もう一度印刷してください。");
inline const QString kPrintFailedBody = QStringLiteral(
    "一括相性占いの結果を印刷できませんでした。\r\n\r\n"
    "プリンタの状態を確認してください。");

// Same title; the spool folder has not room for the job. %1 is its size
// in MB, %2 the folder.
inline const QString kPrintNoSpaceBody = QStringLiteral(
    "一括相性占いの結果を印刷できませんでした。\r\n\r\n"
    "印刷データ（約 %1 MB）を置く一時フォルダ <%2> の空きが足りません。名前を減らすか、空きを作ってから、もう一度印刷してください。");

// Asked before the design's print question when a job has very many pages;
// Cancel, the default, prints nothing. %1 is the number of pages.
inline const QString kPrintPagesTitle = QStringLiteral("枚数確認");
inline const QString kPrintPagesBody = QStringLiteral(
    "印刷は %1 ページになります。用紙と時間が多くかかります。\r\n\r\n"
    "このまま印刷に進むときは OK を、やめるときはキャンセルを押してください。");

// The progress box while a job is spooled and sent.
inline const QString kPrintProgressTitle = QStringLiteral("印刷");
inline const QString kPrintProgressLabel = QStringLiteral("一括相性占いの結果を印刷しています…");
inline const QString kPrintProgressCancel = QStringLiteral("中止");

} // namespace kanaroll::batchmsg
