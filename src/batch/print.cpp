#include "print.h"

#include "messages.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include <cmath>
#include <functional>

namespace kanaroll {

IchiranPrintItems IchiranPrintLine(const IchiranRow &row)
{
    return {row.name1 + u'-' + row.name2, row.percent + u'%'};
}

namespace {

// Tab stops every 14 half-width characters, like the columns of a line printer.
constexpr int kTabColumns = 14;

IchiranPrintStatus printRows(int count, const std::function<IchiranRow(int)> &rowAt, QPrinter &printer,
                             const IchiranPrintProgress &progress = {})
{
    if (count <= 0)
        return IchiranPrintStatus::Empty;
    QPainter painter;
    if (!painter.begin(&printer))
        return IchiranPrintStatus::Failed;
    // The printer's own default font: the program sets none.
    const QFont font = painter.font();
    const QFontMetricsF fm(font, &printer);
    const qreal lineHeight = fm.lineSpacing();
    const qreal tab = fm.horizontalAdvance(u'0') * kTabColumns;
    const qreal pageHeight = printer.height();

    qreal y = 0;
    for (int r = 0; r < count; ++r) {
        if (y > 0 && y + lineHeight > pageHeight) {
            if (!printer.newPage()) {
                painter.end();
                return IchiranPrintStatus::Failed;
            }
            y = 0;
        }
        const IchiranPrintItems items = IchiranPrintLine(rowAt(r));
        const qreal firstWidth = fm.horizontalAdvance(items.first);
        const qreal secondX = (std::floor(firstWidth / tab) + 1) * tab;
        painter.drawText(QPointF(0, y + fm.ascent()), items.first);
        painter.drawText(QPointF(secondX, y + fm.ascent()), items.second);
        y += lineHeight;
        if (progress && !progress(double(r + 1) / count)) {
            printer.abort();
            painter.end();
            return IchiranPrintStatus::Cancelled;
        }
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return IchiranPrintStatus::Failed;
    return IchiranPrintStatus::Printed;
}

} // namespace

IchiranPrintStatus IchiranPrint(const IchiranModel &grid, QPrinter &printer, const IchiranPrintProgress &progress)
{
    // Rows are asked for in order, so a cursor reads each in constant time.
    IchiranModel::Cursor cursor(grid);
    return printRows(
        grid.size(),
        [&](int) {
            const QString *a = nullptr;
            const QString *b = nullptr;
            int p = 0;
            cursor.next(a, b, p);
            return IchiranRow{*a, *b, QString::number(p)};
        },
        printer, progress);
}

IchiranPrintStatus IchiranPrint(const std::vector<IchiranRow> &rows, QPrinter &printer)
{
    return printRows(int(rows.size()), [&](int r) { return rows[std::size_t(r)]; }, printer);
}

bool ichiranHasDefaultPrinter()
{
    return !QPrinterInfo::defaultPrinter().isNull();
}

IchiranPrintStatus IchiranPrintDefault(const IchiranModel &grid, const IchiranPrintProgress &progress)
{
    if (grid.isEmpty())
        return IchiranPrintStatus::Empty;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return IchiranPrintStatus::NoPrinter;
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("一括判断"));
    if (!printer.isValid())
        return IchiranPrintStatus::NoPrinter;
    return IchiranPrint(grid, printer, progress);
}

IchiranPrintStatus printDocumentDefault(const QTextDocument &document, const QString &docName)
{
    if (document.isEmpty())
        return IchiranPrintStatus::Empty;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return IchiranPrintStatus::NoPrinter;
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(docName);
    if (!printer.isValid())
        return IchiranPrintStatus::NoPrinter;
    document.print(&printer);
    return printer.printerState() == QPrinter::Error ? IchiranPrintStatus::Failed : IchiranPrintStatus::Printed;
}

QString ichiranPrintMessage(IchiranPrintStatus status)
{
    switch (status) {
    case IchiranPrintStatus::NoPrinter: return batchmsg::kNoPrinterBody;
    case IchiranPrintStatus::Failed: return batchmsg::kPrintFailedBody;
    case IchiranPrintStatus::Printed:
    case IchiranPrintStatus::Cancelled:
    case IchiranPrintStatus::Empty: break;
    }
    return {};
}

} // namespace kanaroll
