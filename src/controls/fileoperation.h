// TFileOperation: one file operation of the kind a desktop shell offers
// (copy, delete, move, rename) over lists of source names or wildcard
// patterns and destinations, with option flags and a progress title. The
// copy of files into a folder is carried out by the program's own card copy,
// whole files only, under a window-modal progress dialog that can cancel it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class QWidget;

class TFileOperation : public QObject {
    Q_OBJECT
    Q_PROPERTY(TFileOp Operation READ Operation WRITE SetOperation)
    Q_PROPERTY(TOperationFlags OperationFlag READ OperationFlag WRITE SetOperationFlag)
    Q_PROPERTY(QStringList FileFrom READ FileFrom WRITE SetFileFrom)
    Q_PROPERTY(QStringList FileTo READ FileTo WRITE SetFileTo)
    Q_PROPERTY(QString ProgressTitle READ ProgressTitle WRITE SetProgressTitle)
    Q_PROPERTY(bool Aborted READ Aborted)

  public:
    enum TFileOp { foCopy, foDelete, foMove, foRename };
    Q_ENUM(TFileOp)
    enum TOperationFlag {
        fofAllowUndo = 0x40,
        fofConfirmMouse = 0x2,
        fofFilesOnly = 0x80,
        fofMultiDestFiles = 0x1,
        fofNoConfirmation = 0x10,
        fofNoConfirmMkDir = 0x200,
        fofRenameOnCollision = 0x8,
        fofSilent = 0x4,
        fofSimpleProgress = 0x100,
    };
    Q_DECLARE_FLAGS(TOperationFlags, TOperationFlag)
    Q_FLAG(TOperationFlags)

    // Empty lists, no flags, an empty title, not aborted; a copy.
    explicit TFileOperation(QObject* owner = nullptr);

    TFileOp Operation() const { return operation_; }
    void SetOperation(TFileOp operation) { operation_ = operation; }
    TOperationFlags OperationFlag() const { return flags_; }
    void SetOperationFlag(TOperationFlags flags) { flags_ = flags; }
    QStringList& FileFrom() { return fileFrom_; }
    void SetFileFrom(const QStringList& names) { fileFrom_ = names; }
    QStringList& FileTo() { return fileTo_; }
    void SetFileTo(const QStringList& names) { fileTo_ = names; }
    QString ProgressTitle() const { return progressTitle_; }
    void SetProgressTitle(const QString& title) { progressTitle_ = title; }
    // The user cancelled the last Execute.
    bool Aborted() const { return aborted_; }
    // Lines for the user from the last Execute: the files the copy left out
    // ("00-05.aud: a link, not copied") and, after a cancel, which songs were
    // copied and which left as they were.
    const QStringList& Notes() const { return notes_; }
    // The failure the last Execute showed ("Cannot copy 00-01.aud: No space
    // left on device"); empty after a success or a cancel.
    const QString& Error() const { return error_; }

    // The shell's codes: the function of the operation and the option bits.
    static int FunctionCode(TFileOp operation);
    std::uint32_t OptionBits() const;
    // A list as the shell takes it: each entry followed by a zero byte, and
    // one more zero byte at the end.
    static QByteArray DoubleZeroList(const QStringList& names);
    QByteArray SourceBuffer() const { return DoubleZeroList(fileFrom_); }
    QByteArray DestinationBuffer() const { return DoubleZeroList(fileTo_); }

    // A copy of the files of `folder` that match `patterns` ("*.aud") into
    // the folder `destination`: FileFrom and FileTo set for it.
    void SetFolderCopy(const QString& folder, const QStringList& patterns,
                       const QString& destination);

    // Runs the operation; true when it succeeded, false after a failure or
    // a cancel (Aborted tells which). A failure other than a cancel is first
    // shown in an error window naming the file and the reason. Only the copy
    // of files into one folder is carried out; the other operations fail.
    bool Execute();

    // A copy into a destination folder that is not there fails instead of
    // making it (a restore onto a card that has been taken out).
    void SetDestinationMustExist(bool mustExist) { destinationMustExist_ = mustExist; }

    // The window the progress dialog and the error window belong to.
    void SetParentWidget(QWidget* parent) { parent_ = parent; }
    // Shows the error window; by default a message box.
    void SetErrorDisplay(std::function<void(const QString&)> show) { showError_ = std::move(show); }

  signals:
    // Raised as the copy moves on, with the bytes done and in all.
    void ProgressStep(quint64 done, quint64 total);

  private:
    TFileOp operation_ = foCopy;
    TOperationFlags flags_;
    QStringList fileFrom_;
    QStringList fileTo_;
    QString progressTitle_;
    bool aborted_ = false;
    QStringList notes_;
    QString error_;
    bool destinationMustExist_ = false;
    QWidget* parent_ = nullptr;
    std::function<void(const QString&)> showError_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFileOperation::TOperationFlags)
