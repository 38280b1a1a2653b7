#include "ui/RecordReport.h"

#include "storage/RecordColumns.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include "ui/LcdSymbolFont.h"

#include "storage/SafeFileWriter.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <cmath>

namespace veska {

namespace {

using L = RecordReport::Layout;

constexpr int kUnitColumn = 4;
constexpr int kBlockRows = 1024;

// Millimetres to device pixels. The painter is never scaled, so fonts keep their size.
class Mm {
public:
    explicit Mm(const QPagedPaintDevice& device) : m_perMm(device.logicalDpiY() / 25.4) {}
    qreal operator()(double mm) const { return mm * m_perMm; }

private:
    qreal m_perMm;
};

QFont reportFont() {
    QFont font(LcdSymbolFont::letterFont(12, false).family());
    font.setPointSizeF(L::kFontPoints);
    return font;
}

double printableHeightMm(const QPagedPaintDevice& printer) {
    return printer.pageLayout().paintRect(QPageLayout::Millimeter).height();
}

double printableWidthMm(const QPagedPaintDevice& printer) {
    return printer.pageLayout().paintRect(QPageLayout::Millimeter).width();
}

// Draws one text with the top of its line at (left, top), in millimetres.
void textAt(QPainter& p, const Mm& mm, double left, double top, const QString& text) {
    p.drawText(QRectF(mm(left), mm(top), mm(200.0), mm(L::kDetailHeight)), Qt::AlignLeft | Qt::AlignTop, text);
}

void drawPageFrame(QPainter& p, const QPagedPaintDevice& printer, const Mm& mm) {
    const double width = printableWidthMm(printer);
    p.drawText(QRectF(0, mm(L::kTitleTop), mm(width), mm(L::kPageHeaderHeight)), Qt::AlignHCenter | Qt::AlignTop,
               RecordReport::title());
    const double columnTop = L::kPageHeaderHeight;
    for (int i = 0; i < RecordColumns::kCount; ++i)
        textAt(p, mm, L::kHeaderLeft[std::size_t(i)], columnTop + L::kColumnHeaderTextTop, RecordColumns::names()[i]);
    // The footer band sits at the bottom of the printable area.
    const double footerTop = printableHeightMm(printer) - L::kFooterHeight;
    textAt(p, mm, L::kFooterTextLeft, footerTop + L::kFooterTextTop, RecordReport::foot());
}

void drawDetail(QPainter& p, const Mm& mm, double bandTop, const QStringList& row,
                const RecordColumns::Indexes& columns) {
    for (int i = 0; i < RecordColumns::kCount; ++i) {
        QString text = row[columns[std::size_t(i)]];
        if (i == kUnitColumn) text = LcdSymbolFont::humanText(text);
        textAt(p, mm, L::kDetailLeft[std::size_t(i)], bandTop + L::kDetailTextTop, text);
    }
}

}  // namespace

void RecordReport::setupPrinter(QPrinter& printer) {
    printer.setPageLayout(pageLayout());
    printer.setFullPage(false);
    printer.setCopyCount(1);
    printer.setDocName(QStringLiteral("Veska record table"));
}

int RecordReport::rowsPerPage(const QPagedPaintDevice& printer) {
    const double room =
        printableHeightMm(printer) - L::kPageHeaderHeight - L::kColumnHeaderHeight - L::kFooterHeight;
    return std::max(1, int(std::floor(room / L::kDetailHeight + 1e-9)));
}

int RecordReport::render(const TableEngine& table, QPagedPaintDevice& printer) {
    if (!table.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);
    const qint64 rows = table.rowCount();
    if (rows == 0) return 0;

    QPainter p;
    if (!p.begin(&printer)) throw TableError(QStringLiteral("Cannot start printing"));
    p.setFont(reportFont());
    p.setPen(Qt::black);
    const Mm mm(printer);
    const int perPage = rowsPerPage(printer);
    const double firstDetailTop = L::kPageHeaderHeight + L::kColumnHeaderHeight;
    int pages = 0;
    int onPage = perPage;
    for (qint64 position = 0; position < rows; position += kBlockRows) {
        const std::vector<QStringList> block = table.rowTexts(position, kBlockRows);
        if (block.empty()) break;
        for (const QStringList& row : block) {
            if (onPage == perPage) {
                if (pages > 0) printer.newPage();
                drawPageFrame(p, printer, mm);
                ++pages;
                onPage = 0;
            }
            drawDetail(p, mm, firstDetailTop + onPage * L::kDetailHeight, row, columns);
            ++onPage;
        }
    }
    p.end();
    return pages;
}

QPageLayout RecordReport::pageLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(L::kMargin, L::kMargin, L::kMargin, L::kMargin), QPageLayout::Millimeter);
}

QString RecordReport::renderPdf(const TableEngine& table, const QString& pdfPath, const QPageLayout& layout) {
    try {
        if (!table.isOpen()) return QStringLiteral("Cannot perform this operation on a closed table");
        RecordColumns::indexesIn(table);
        if (table.rowCount() == 0) return QStringLiteral("%1 holds no rows: nothing to print").arg(table.filePath());
        SafeFileWriter out(pdfPath);
        out.protectTable(table.filePath());
        if (!out.open(QIODevice::WriteOnly)) return out.failureMessage();
        {
            // The PDF engine ignores failed writes; the writer remembers them for commit().
            QPdfWriter pdf(&out);
            pdf.setResolution(kPdfResolution);
            pdf.setPageLayout(layout);
            pdf.setTitle(QStringLiteral("Veska record table"));
            pdf.setCreator(QStringLiteral("Veska"));
            render(table, pdf);
        }
        if (!out.commit()) return out.failureMessage();
        return QString();
    } catch (const TableError& e) {
        return e.message();
    }
}

void RecordReport::showPreview(QWidget* parent, QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) { paint(p); });
    dialog.exec();
}

}  // namespace veska
