#pragma once

#include <QPageLayout>
#include <QString>

#include <array>
#include <functional>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace veska {

class TableEngine;

// QuickRep1: the printed record table. A4 portrait, 10 mm margins; on every page a page
// header "The Data Print Title", a column header, one detail band per row and a page footer
// "The Data Print Foot". Every text is real text (selectable and searchable in a PDF),
// 10 pt, in the LCD symbol font's letters; units read as a person reads them (kΩ, °C).
// Positions are millimetres from the top-left corner of the printable area.
class RecordReport {
public:
    struct Layout {
        static constexpr double kMargin = 10.0;
        static constexpr double kFontPoints = 10.0;
        static constexpr double kPageHeaderHeight = 10.6;
        static constexpr double kTitleTop = 2.1;
        static constexpr double kColumnHeaderHeight = 10.6;
        static constexpr double kColumnHeaderTextTop = 4.2;
        static constexpr double kDetailHeight = 6.6;
        static constexpr double kDetailTextTop = 2.1;
        static constexpr double kFooterHeight = 10.6;
        static constexpr double kFooterTextLeft = 8.5;
        static constexpr double kFooterTextTop = 4.2;
        static constexpr std::array<double, 6> kHeaderLeft{8.5, 33.9, 64.3, 99.5, 132.3, 163.0};
        static constexpr std::array<double, 6> kDetailLeft{8.5, 33.9, 65.6, 99.5, 131.2, 163.0};
    };
    static QString title() { return QStringLiteral("The Data Print Title"); }
    static QString foot() { return QStringLiteral("The Data Print Foot"); }

    // Resolution of the PDF files the report writes, as a high-resolution printer's.
    static constexpr int kPdfResolution = 1200;

    // A4, portrait, 10 mm margins.
    static QPageLayout pageLayout();
    // pageLayout(), one copy.
    static void setupPrinter(QPrinter& printer);
    // Detail rows that fit on one page of the printer's printable area.
    static int rowsPerPage(const QPagedPaintDevice& printer);
    // Draws every row of the table on the printer (or PDF writer), first to last, one row
    // at a time, and returns the number of pages; a field wider than its cell is cut with
    // "…" (only its start is ever read into a text). An empty table draws nothing and gives
    // 0. Throws TableError when the table lacks the six fields, and when memory runs out.
    static int render(const TableEngine& table, QPagedPaintDevice& printer);
    // Renders the table into a PDF file through SafeFileWriter (no window needed): complete
    // or not at all, never over the table itself or its recovery journal. Returns an empty
    // text on success, otherwise the message with the path and the reason; an empty table
    // writes no file.
    static QString renderPdf(const TableEngine& table, const QString& pdfPath, const QPageLayout& layout);
    static QString renderPdf(const TableEngine& table, const QString& pdfPath) {
        return renderPdf(table, pdfPath, pageLayout());
    }
    // Opens Qt's print preview over the report, modally; the user prints from it.
    static void showPreview(QWidget* parent, QPrinter& printer, const std::function<void(QPrinter*)>& paint);
};

}  // namespace veska
