#include "ui/DataFileDialogs.h"

#include "ui/JournalFileFilter.h"

#include <QFileDialog>

namespace veska {

FileDialogSpec DataFileDialogs::openDialog() {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Open;
    spec.caption = QStringLiteral("Open");
    spec.filters = {QStringLiteral("access data files (*.DB)"), QStringLiteral("All files (*.*)")};
    return spec;
}

FileDialogSpec DataFileDialogs::saveDialog() {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Save;
    spec.caption = QStringLiteral("Save As");
    spec.filters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("DB File(*.db)"),
                    QStringLiteral("Txt File(*.txt)"), csvFilter(), QStringLiteral("All File(*.*)")};
    spec.defaultSuffix = QStringLiteral("xls");
    spec.confirmOverwrite = true;
    spec.hideReadOnly = true;
    return spec;
}

void DataFileDialogs::configure(QFileDialog& dialog, const FileDialogSpec& spec) {
    const bool save = spec.mode == FileDialogSpec::Mode::Save;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The recovery journals beside the record table are no files for the user to pick.
    dialog.setProxyModel(new JournalFileFilter(&dialog));
    dialog.setWindowTitle(spec.caption);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(spec.filters);
    if (!spec.filters.isEmpty()) dialog.selectNameFilter(spec.filters.front());
    dialog.setDefaultSuffix(spec.defaultSuffix);
    // A name typed under the CSV entry becomes a CSV file, not an ".xls" text export.
    if (spec.filters.contains(csvFilter())) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffix = spec.defaultSuffix](const QString& f) {
            dialog.setDefaultSuffix(f == csvFilter() ? QStringLiteral("csv") : suffix);
        });
    }
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // "*.DB" also lists run1.db: file names written on another system differ in case.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

QString DataFileDialogs::run(QWidget* parent, const FileDialogSpec& spec, const QString& directory) {
    QFileDialog dialog(parent);
    configure(dialog, spec);
    if (!directory.isEmpty()) dialog.setDirectory(directory);
    dialog.selectFile(QString());  // the name field starts empty
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace veska
