#pragma once

#include "ui/UserDialogs.h"

class QWidget;

namespace veska {

// The real boxes, parented to the main window.
class MessageBoxDialogs : public UserDialogs {
public:
    explicit MessageBoxDialogs(QWidget* parent) : m_parent(parent) {}
    void information(const QString& text) override;
    void error(const QString& text) override;
    void plainMessage(const QString& text) override;
    bool askYesNo(const QString& text) override;
    SaveChoice askSaveUnsaved(const QString& text) override;
    QString chooseFile(const FileDialogSpec& spec) override;
    void showPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) override;

private:
    QWidget* m_parent;
};

}  // namespace veska
