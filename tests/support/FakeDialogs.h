#pragma once

#include "ui/UserDialogs.h"

#include <QStringList>

#include <functional>

namespace veska::test {

// Answers the window's questions from a script and keeps every text it was shown.
class FakeDialogs : public UserDialogs {
public:
    void information(const QString& text) override { infos << text; }
    void error(const QString& text) override { errors << text; }
    void plainMessage(const QString& text) override { plains << text; }
    bool askYesNo(const QString& text) override {
        questions << text;
        return yes;
    }
    SaveChoice askSaveUnsaved(const QString& text) override {
        saveQuestions << text;
        return saveChoice;
    }

    QString chooseFile(const FileDialogSpec&) override { return chosenFile; }
    void showPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) override {
        ++previews;
        if (preview) preview(printer, paint);
    }

    bool yes = true;
    QString chosenFile;  // empty: the dialog is cancelled
    int previews = 0;
    // What the preview does, as a user would with it (print to a file, say); nothing by default.
    std::function<void(QPrinter&, const std::function<void(QPrinter*)>&)> preview;
    SaveChoice saveChoice = SaveChoice::Discard;
    QStringList infos, errors, plains, questions, saveQuestions;
};

}  // namespace veska::test
