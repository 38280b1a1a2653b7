#pragma once

#include <QString>

#include <functional>

class QPrinter;

namespace veska {

struct FileDialogSpec;

// Every modal question and message of the window goes through here, so tests answer them
// and nothing modal ever opens from inside packet handling.
class UserDialogs {
public:
    enum class SaveChoice { Save, Discard, Cancel };

    virtual ~UserDialogs() = default;
    // Information box (caption "Information", OK).
    virtual void information(const QString& text) = 0;
    // Error box captioned with the application title, stop icon, OK.
    virtual void error(const QString& text) = 0;
    // Plain box captioned with the application title: no icon, OK.
    virtual void plainMessage(const QString& text) { information(text); }
    // Yes/No question of information type; true for Yes.
    virtual bool askYesNo(const QString& text) = 0;
    // Save / Discard / Cancel about rows not yet saved.
    virtual SaveChoice askSaveUnsaved(const QString& text) = 0;
    // A file dialog as FileDialogSpec describes it; empty when cancelled.
    virtual QString chooseFile(const FileDialogSpec& spec) = 0;
    // The print preview over a set-up printer; 'paint' draws the report on a printer.
    virtual void showPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) = 0;
};

}  // namespace veska
