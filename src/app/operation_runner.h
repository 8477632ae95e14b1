// Runs the window's long operations (export, import, stems) the same way:
// the information box and gauge cleared, the wait cursor, busy mode from the
// first block, the gauge and Abort while it works, the focus given back, and
// a closing line that tells how it ended. A failure is reported with the
// file and the reason.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "common/result.h"
#include "convert/progress.h"

class QWidget;
class DialogProvider;
class TCGauge;
class TInfoText;

class TOperationRunner : public QObject {
    Q_OBJECT

  public:
    // The lines an operation is told with; an empty one is left out.
    struct Lines {
        QString start;      // the first line, once it is under way ("Creating x.wav...")
        QString done;       // after success
        QString cancelled;  // after Abort
        QString failed;     // before the reason of a failure ("Export failed")
        // A hint added to a failure's message, chosen by the failure.
        std::function<QString(const trx5::Status&)> hint;
    };
    // `setBusy` puts the window's commands into busy mode and back out of it
    // (Abort is offered in busy mode).
    TOperationRunner(QWidget& window, DialogProvider& dialogs, TCGauge& gauge, TInfoText& info,
                     std::function<void(bool)> setBusy);

    // Runs `engine(progress)`, which returns a Result of an outcome that
    // says whether it was cancelled.
    template <typename Engine>
    auto Run(const Lines& lines, Engine engine);

    // Busy mode on or off: the commands are disabled, and the control that
    // had the focus gets it back afterwards.
    void SetBusy(bool on);
    bool Busy() const { return busy_; }
    // An operation is under way: Abort stops it.
    bool Running() const { return running_; }
    // Abort pressed: the running operation stops at its next block.
    void Abort() { AbortRequested = true; }
    bool AbortRequested = false;

    // A line of the information box.
    void AddLine(const QString& line);
    // Tells of a failed operation: a line in the information box ("Export
    // failed: x.wav: No space left on device") and a message with the
    // system's sentence, the file and the reason, and a hint when given.
    void Report(const QString& what, const trx5::Status& failure, const QString& hint = {});

  signals:
    // Raised once per block, before pending events run.
    void ProgressStep(quint64 block, quint64 blocks);

  private:
    class BlockProgress;

    void Begin();
    void End(bool started);

    QWidget& window_;
    DialogProvider& dialogs_;
    TCGauge& gauge_;
    TInfoText& info_;
    std::function<void(bool)> setBusy_;
    bool busy_ = false;
    bool running_ = false;
    QPointer<QWidget> focusBeforeBusy_;
};

// Lets the window live between blocks: pending events run (so Abort can be
// clicked), then an Abort stops the loop, else the gauge moves. Busy mode
// starts with the first block, so an operation that fails before its loop
// leaves the window as it was.
class TOperationRunner::BlockProgress final : public trx5::Progress {
  public:
    BlockProgress(TOperationRunner& runner, QString startLine)
        : runner_(runner), startLine_(std::move(startLine)) {}
    ~BlockProgress() override { runner_.End(started_); }

    void Start();
    bool Step(std::uint64_t block, std::uint64_t blocks) override;

  private:
    TOperationRunner& runner_;
    QString startLine_;
    bool started_ = false;
};

template <typename Engine>
auto TOperationRunner::Run(const Lines& lines, Engine engine) {
    Begin();
    auto result = [&] {
        BlockProgress progress(*this, lines.start);
        auto outcome = engine(progress);
        // An operation without a single block still tells its first line.
        if (outcome) progress.Start();
        return outcome;
    }();
    if (!result) {
        Report(lines.failed, result.status(), lines.hint ? lines.hint(result.status()) : QString());
    } else if (result->cancelled) {
        if (!lines.cancelled.isEmpty()) AddLine(lines.cancelled);
    } else if (!lines.done.isEmpty()) {
        AddLine(lines.done);
    }
    return result;
}
