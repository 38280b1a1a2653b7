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

#include <QFontMetrics>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace veska {

namespace {

using L = RecordReport::Layout;

constexpr int kUnitColumn = 4;
constexpr std::size_t kEndingReserve = 8 << 20;

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

// Width of a detail cell: up to the next column, less a gap; the last one up to the margin.
double cellWidthMm(const QPagedPaintDevice& printer, int column) {
    constexpr double kGap = 1.0;
    const double right = column + 1 < RecordColumns::kCount ? L::kDetailLeft[std::size_t(column) + 1]
                                                            : printableWidthMm(printer);
    return right - L::kDetailLeft[std::size_t(column)] - kGap;
}

// What a cell can show of a field: its start, cut with "…" where it is wider than the cell.
// Only the start of an over-long field is ever converted, so a huge field costs no more
// than a short one.
class CellText {
public:
    CellText(const QPainter& p, const QPagedPaintDevice& printer, const Mm& mm) : m_metrics(p.fontMetrics()) {
        for (int i = 0; i < RecordColumns::kCount; ++i) m_width[std::size_t(i)] = int(mm(cellWidthMm(printer, i)));
    }

    QString of(std::string_view utf8, int column) const {
        // Far more characters than any cell holds; cut at a character's first byte.
        constexpr std::size_t kMostBytes = 256;
        std::size_t take = std::min(utf8.size(), kMostBytes);
        while (take > 0 && take < utf8.size() && (static_cast<unsigned char>(utf8[take]) & 0xC0) == 0x80) --take;
        QString text = QString::fromUtf8(utf8.data(), qsizetype(take));
        const bool cut = take < utf8.size();
        if (cut) text += QChar(0x2026);
        if (column == kUnitColumn) text = LcdSymbolFont::humanText(text);
        const int width = m_width[std::size_t(column)];
        // Short texts fit whatever their letters: no measuring for the usual fields.
        if (cut || qint64(text.size()) * m_metrics.maxWidth() > width)
            text = m_metrics.elidedText(text, Qt::ElideRight, width);
        return text;
    }

private:
    QFontMetrics m_metrics;
    std::array<int, RecordColumns::kCount> m_width{};
};

void drawDetail(QPainter& p, const Mm& mm, double bandTop, const std::vector<std::string_view>& row,
                const CellText& cells) {
    for (int i = 0; i < RecordColumns::kCount; ++i)
        textAt(p, mm, L::kDetailLeft[std::size_t(i)], bandTop + L::kDetailTextTop, cells.of(row[std::size_t(i)], i));
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

    // Room for ending the document when memory runs out half way: the PDF engine allocates
    // as it finishes a page, and a failure inside the painter's destructor would abort.
    auto reserve = std::make_unique<char[]>(kEndingReserve);
    auto p = std::make_unique<QPainter>();
    // Ends the painter after a failure; one that cannot end is left alone (its destructor
    // would try again and abort the program): a small leak when memory has run out.
    const auto abandon = [&p, &reserve] {
        reserve.reset();
        try {
            if (p->isActive()) p->end();
            p.reset();
        } catch (const std::bad_alloc&) {
            (void)p.release();
        }
    };
    int pages = 0;
    try {
        if (!p->begin(&printer)) throw TableError(QStringLiteral("Cannot start printing"));
        p->setFont(reportFont());
        p->setPen(Qt::black);
        const Mm mm(printer);
        const CellText cells(*p, printer, mm);
        const int perPage = rowsPerPage(printer);
        const double firstDetailTop = L::kPageHeaderHeight + L::kColumnHeaderHeight;
        int onPage = perPage;
        // One row at a time, straight from the table: memory stays flat at any length.
        table.forEachRowText(std::vector<int>(columns.begin(), columns.end()),
                             [&](const std::vector<std::string_view>& row) {
                                 if (onPage == perPage) {
                                     if (pages > 0) printer.newPage();
                                     drawPageFrame(*p, printer, mm);
                                     ++pages;
                                     onPage = 0;
                                 }
                                 drawDetail(*p, mm, firstDetailTop + onPage * L::kDetailHeight, row, cells);
                                 ++onPage;
                             });
        p->end();
    } catch (const std::bad_alloc&) {
        abandon();
        throw TableError(QStringLiteral("Not enough memory to print %1").arg(table.filePath()));
    } catch (...) {
        abandon();
        throw;
    }
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
    } catch (const std::bad_alloc&) {
        // The writer went with the stack: no file was put in place.
        return QStringLiteral("Not enough memory to print %1 into %2").arg(table.filePath(), pdfPath);
    }
}

void RecordReport::showPreview(QWidget* parent, QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) { paint(p); });
    dialog.exec();
}

}  // namespace veska
