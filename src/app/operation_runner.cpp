#include "app/operation_runner.h"

#include <QApplication>

#include "app/info_text.h"
#include "controls/cgauge.h"

TOperationRunner::TOperationRunner(TCGauge& gauge, TInfoText& info,
                                   std::function<void(bool)> setBusy, Reporter report,
                                   QObject* parent)
    : QObject(parent),
      gauge_(gauge),
      info_(info),
      setBusy_(std::move(setBusy)),
      report_(std::move(report)) {}

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
    runner_.AddLine(startLine_);
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
