#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace veska {

// What the open and save dialogs of the data-file commands look like. The window shows
// them (runFileDialog); tests check the configuration on a dialog that is never shown.
struct FileDialogSpec {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString caption;
    QStringList filters;    // Qt filter entries, e.g. "Excel File(*.xls)"
    QString defaultSuffix;  // added to a name typed without an extension
    bool confirmOverwrite = false;
    bool hideReadOnly = false;
};

class DataFileDialogs {
public:
    // OpenDialog1: "access data files (*.DB)", "All files (*.*)".
    static FileDialogSpec openDialog();
    // SaveDialog2: Excel/DB/Txt/CSV/All entries, default extension "xls" ("csv" while the CSV
    // entry is picked), asks before overwriting, no read-only option.
    static FileDialogSpec saveDialog();
    static QString csvFilter() { return QStringLiteral("CSV (*.csv)"); }

    // Applies a spec to a dialog. The dialog is Qt's own (not the platform's), so the same
    // rules hold everywhere: the default suffix, matching the filters without regard to case,
    // recovery journals left out of the listing.
    static void configure(QFileDialog& dialog, const FileDialogSpec& spec);
    // Shows a configured dialog modally; returns the chosen path, empty when cancelled.
    static QString run(QWidget* parent, const FileDialogSpec& spec, const QString& directory = QString());
};

}  // namespace veska
