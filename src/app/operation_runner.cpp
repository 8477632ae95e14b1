#include "app/operation_runner.h"

#include <QApplication>

#include "app/dialog_provider.h"
#include "app/info_text.h"
#include "controls/cgauge.h"

TOperationRunner::TOperationRunner(QWidget& window, DialogProvider& dialogs, TCGauge& gauge,
                                   TInfoText& info, std::function<void(bool)> setBusy)
    : QObject(&window),
      window_(window),
      dialogs_(dialogs),
      gauge_(gauge),
      info_(info),
      setBusy_(std::move(setBusy)) {}

void TOperationRunner::SetBusy(bool on) {
    if (on && !busy_) {
        // Disabling the control that has the focus moves it on; it comes
        // back when the operation is over.
        focusBeforeBusy_ = QApplication::focusWidget();
    }
    busy_ = on;
    setBusy_(on);
    if (on) return;
    if (focusBeforeBusy_ != nullptr && focusBeforeBusy_->isEnabled()) focusBeforeBusy_->setFocus();
    focusBeforeBusy_ = nullptr;
}

void TOperationRunner::AddLine(const QString& line) { info_.AddLine(line); }

void TOperationRunner::Begin() {
    gauge_.SetProgress(0);
    info_.clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TOperationRunner::End(bool started) {
    gauge_.SetProgress(100);
    QApplication::restoreOverrideCursor();
    if (started) {
        running_ = false;
        SetBusy(false);
    }
    gauge_.SetProgress(0);
}

void TOperationRunner::BlockProgress::Start() {
    if (started_) return;
    started_ = true;
    if (!startLine_.isEmpty()) runner_.AddLine(startLine_);
    runner_.AbortRequested = false;
    runner_.running_ = true;
    runner_.SetBusy(true);
}

bool TOperationRunner::BlockProgress::Step(std::uint64_t block, std::uint64_t blocks) {
    Start();
    emit runner_.ProgressStep(block, blocks);
    QCoreApplication::processEvents();
    if (runner_.AbortRequested) return false;
    runner_.gauge_.SetProgress(static_cast<int>(block * 100 / blocks));
    return true;
}

void TOperationRunner::Report(const QString& what, const trx5::Status& failure,
                              const QString& hint) {
    // The file and the reason are part of the visible text, beside the
    // system's sentence.
    QString why = QString::fromStdString(failure.reason());
    if (!failure.path().empty()) {
        why = QString::fromStdString(failure.path()) +
              (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    }
    const QString sentence = QString::fromStdString(failure.message());
    AddLine(what + QStringLiteral(": ") + (why.isEmpty() ? sentence : why));
    QString text = sentence;
    if (!why.isEmpty()) text += QLatin1Char('\n') + why;
    if (!hint.isEmpty()) text += QLatin1Char('\n') + hint;
    dialogs_.MessageBox(&window_, text);
}
