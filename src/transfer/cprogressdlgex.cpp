#include "transfer/cprogressdlgex.h"
#include "common/logcategories.h"
#include "transfer/cprogressthread.h"
#include "transfer/cprogressthreadinfo.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMutexLocker>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

CProgressDlgEx::CProgressDlgEx(QWidget *parent, CProgressThreadInfo *info, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , info(info)
{
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
    setWindowTitle(info->title);

    auto *layout = new QVBoxLayout(this);
    label = new QLabel(info->text, this);
    label->setMinimumWidth(info->labelMinWidth);
    layout->addWidget(label);
    bar = new QProgressBar(this);
    bar->setRange(1, 100);
    layout->addWidget(bar);

    if (info->cancelable) {
        cancelButton = new QPushButton(info->cancelText, this);
        cancelButton->setDefault(true);
        cancelButton->setEnabled(true);
        connect(cancelButton, &QPushButton::clicked, this, &CProgressDlgEx::cancel);
        layout->addWidget(cancelButton);
        shortcut =
            new QShortcut(QKeySequence(Qt::Key_Return), this, nullptr, nullptr, Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &CProgressDlgEx::cancel);
    }

    info->clock.start();
    thread = new CProgressThread(info, this);
    connect(thread, &CProgressThread::valueChanged, this, &CProgressDlgEx::onValueChanged);
    connect(thread, &CProgressThread::labelChanged, this, &CProgressDlgEx::onLabelChanged);
    connect(thread, &QThread::finished, this, &CProgressDlgEx::onThreadFinished);
    thread->start(QThread::InheritPriority);
}

CProgressDlgEx::~CProgressDlgEx()
{
    delete shortcut;
    shortcut = nullptr;
    stopThread();
}

bool CProgressDlgEx::isStopped()
{
    if (!thread || thread->isFinished() || info->cancelled || closing) {
        qCDebug(lcTransfer) << "stopped";
        return true;
    }
    return false;
}

void CProgressDlgEx::stopThread()
{
    if (!thread || !thread->isRunning())
        return;
    {
        QMutexLocker locker(&info->mutex);
        info->wake.wakeAll();
        info->stopRequested = true;
    }
    thread->wait();
}

void CProgressDlgEx::onValueChanged(int count)
{
    if (!isVisible() || updatingValue || updatingLabel)
        return;
    updatingValue = true;
    if (!isStopped()) {
        bar->setValue(count);
        updatingValue = false;
    }
}

void CProgressDlgEx::onLabelChanged(const QString &cs)
{
    if (!isVisible() || updatingValue || updatingLabel)
        return;
    updatingLabel = true;
    if (!isStopped()) {
        label->setText(cs);
        updatingLabel = false;
    }
}

void CProgressDlgEx::cancel()
{
    if (isStopped())
        return;
    info->cancelled = true;
    stopThread();
    if (!closing)
        close();
}

void CProgressDlgEx::cancelIfCancelable()
{
    if (info->cancelable)
        cancel();
}

void CProgressDlgEx::reject()
{
    cancelIfCancelable();
}

void CProgressDlgEx::accept()
{
    cancelIfCancelable();
}

void CProgressDlgEx::onThreadFinished()
{
    if (!closing)
        close();
}

void CProgressDlgEx::closeEvent(QCloseEvent *event)
{
    closing = true;
    stopThread();
    // QDialog's own closeEvent would route through reject(), which only cancels; ending the
    // modal loop here lets the close go ahead for cancelable and plain dialogs alike.
    done(QDialog::Rejected);
    event->accept();
}

namespace {

void centreOnScreenOf(QDialog &dialog, QWidget *widget)
{
    QScreen *screen = widget->screen();
    if (!screen)
        return;
    const QRect screenRect = screen->geometry();
    const QRect own = dialog.rect();
    dialog.move((screenRect.left() + screenRect.right()) / 2 - (own.left() + own.right()) / 2,
                (screenRect.top() + screenRect.bottom()) / 2 - (own.top() + own.bottom()) / 2);
}

// The modal loop of a hidden dialog ends with this result when the dialog is to appear: a
// visible window cannot be taken off the screen's ignore list without leaving its loop.
constexpr int showNow = 2;

} // namespace

bool runProgressDialog(QWidget *parent, CProgressThreadInfo *info, Qt::WindowFlags flags)
{
    CProgressDlgEx dialog(parent, info, flags);
    info->setParent(&dialog);
    if (info->centreOn)
        centreOnScreenOf(dialog, info->centreOn);
    if (!info->hidden) {
        dialog.exec();
        return !info->cancelled;
    }
    dialog.setAttribute(Qt::WA_ShowWithoutActivating);
    dialog.setAttribute(Qt::WA_DontShowOnScreen);
    // A quick run stays invisible; a long one shows the user what is waited for, and how to
    // stop waiting.
    if (info->showAfterMs > 0)
        QTimer::singleShot(info->showAfterMs, &dialog, [&dialog] { dialog.appear(); });
    if (dialog.exec() == showNow) {
        dialog.setAttribute(Qt::WA_ShowWithoutActivating, false);
        dialog.setAttribute(Qt::WA_DontShowOnScreen, false);
        dialog.exec();
    }
    return !info->cancelled;
}

void CProgressDlgEx::appear()
{
    if (!closing && !isStopped())
        done(showNow);
}
