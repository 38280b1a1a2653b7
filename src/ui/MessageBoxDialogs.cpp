#include "ui/MessageBoxDialogs.h"

#include "ui/DataFileDialogs.h"
#include "ui/RecordReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace veska {

void MessageBoxDialogs::information(const QString& text) {
    QMessageBox::information(m_parent, QStringLiteral("Information"), text);
}

void MessageBoxDialogs::error(const QString& text) {
    QMessageBox::critical(m_parent, QApplication::applicationName(), text);
}

void MessageBoxDialogs::plainMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool MessageBoxDialogs::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}

UserDialogs::SaveChoice MessageBoxDialogs::askSaveUnsaved(const QString& text) {
    const auto answer = QMessageBox::question(m_parent, QApplication::applicationName(), text,
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                              QMessageBox::Save);
    if (answer == QMessageBox::Save) return SaveChoice::Save;
    if (answer == QMessageBox::Discard) return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

QString MessageBoxDialogs::chooseFile(const FileDialogSpec& spec) { return DataFileDialogs::run(m_parent, spec); }

void MessageBoxDialogs::showPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
    RecordReport::showPreview(m_parent, printer, paint);
}

}  // namespace veska
