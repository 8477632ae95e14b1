// Shared pieces of the window tests: dialogs that answer at once, and card
// folders in temporary directories.
#pragma once

#include <QApplication>
#include <QList>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_provider.h"

class FakeDialogs final : public DialogProvider {
  public:
    std::optional<SaveChoice> GetSaveFileName(QWidget*) override {
        ++saveCalls;
        return save;
    }
    QString GetOpenFileName(CustDlgs::TCOpenDialog&) override {
        ++openCalls;
        return open;
    }
    void MessageBox(QWidget*, const QString& text, const QString& detail = {}) override {
        messages << text;
        details << detail;
        // What the user would see in front of the message: any window that
        // is still open and modal (a progress dialog that has not closed).
        const QWidget* modal = QApplication::activeModalWidget();
        modalAtMessage << (modal != nullptr ? QString::fromLatin1(modal->metaObject()->className())
                                            : QString());
    }
    QString GetFolder(QWidget*, const QString& caption) override {
        folderCaptions << caption;
        return folder;
    }
    QString GetImageFile(QWidget*, const QString& caption) override {
        imageCaptions << caption;
        return imageFile;
    }
    bool Confirm(QWidget*, const QString& text, const QString& caption) override {
        confirmations << caption + QStringLiteral(": ") + text;
        return confirmAnswer;
    }
    int Choose(QWidget*, const QString& text, const QString& caption,
               const QStringList& buttons) override {
        choices << caption + QStringLiteral(": ") + text;
        const int index = static_cast<int>(buttons.indexOf(choice));
        return index >= 0 ? index : static_cast<int>(buttons.size()) - 1;
    }
    std::optional<QString> NewFolderName(TNfWin&) override { return folderName; }
    void StartDrag(QWidget* source, QMimeData* data) override {
        dragSources << source;
        dragged.emplace_back(data);
    }
    void OpenDocument(const QUrl& url, std::function<void()> failed) override {
        documents << url;
        if (!documentOpens) failed();
    }

    std::optional<SaveChoice> save;
    QString open;
    std::optional<QString> folderName;
    bool documentOpens = true;
    int saveCalls = 0;
    int openCalls = 0;
    QStringList messages;
    QStringList details;
    QStringList modalAtMessage;  // class of the modal window open at each message, or empty
    QStringList confirmations;   // "caption: text"
    QList<QWidget*> dragSources;
    QString folder;  // answer of the folder dialog
    QStringList folderCaptions;
    QString imageFile;  // answer of the image file dialog
    QStringList imageCaptions;
    std::vector<std::unique_ptr<QMimeData>> dragged;
    bool confirmAnswer = true;
    QString choice;       // the button Choose presses; the last (cancel) when none is named so
    QStringList choices;  // "caption: text" of each Choose
    QList<QUrl> documents;
};

// A 16-bit PCM WAV file of `channels` channels whose samples are made by
// `sample(frame, channel)`.
void WriteWav(const std::string& path, int channels, int rate, int frames,
              const std::function<std::int16_t(int, int)>& sample);

// Size of a file in bytes; -1 when it is missing.
long long FileSize(const std::string& path);

class QMenu;
// A right click on the middle of `widget` through the window system, as
// the mouse gives it: the menu that opens, or none within five seconds.
QMenu* RightClickMenu(QWidget* widget);
