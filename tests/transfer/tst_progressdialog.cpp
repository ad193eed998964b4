#include "transfer/cprogressdlgex.h"
#include "transfer/cprogressthread.h"
#include "transfer/cprogressthreadinfo.h"

#include <QtTest>
#include <QtWidgets>

class tst_ProgressDialog : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void cancelableDialogCancels_data();
    void cancelableDialogCancels();
    void plainDialogIgnoresKeys_data();
    void plainDialogIgnoresKeys();
    void timeLimitEndsTheRun();
    void wakeUpEndsTheRun();
    void wakeUpBeforeTheFirstWaitIsKept();
    void autoStepCounts();
    void valueOverwrittenBetweenTicksShownOnce();
    void labelFromPendingText();
    void closeStopsThreadFirst();
    void hiddenDialogIsNotShownOnScreen();
    void hiddenDialogAppearsWhenTheRunTakesLong();
};

namespace {

CProgressThreadInfo *newInfo(bool cancelable, int timeoutMs)
{
    auto *info = new CProgressThreadInfo;
    info->cancelable = cancelable;
    info->timeoutMs = timeoutMs;
    info->autoStep = false;
    return info;
}

// Runs `action` on the dialog once its modal loop runs.
void whenShown(const std::function<void(CProgressDlgEx *)> &action)
{
    QTimer::singleShot(100, [action] {
        auto *dialog = qobject_cast<CProgressDlgEx *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

} // namespace

void tst_ProgressDialog::defaults()
{
    CProgressThreadInfo info;
    QCOMPARE(info.title, QStringLiteral("Fortschritt..."));
    QCOMPARE(info.cancelText, QStringLiteral("Abbrechen"));
    QCOMPARE(info.tickMs, 250);
    QCOMPARE(info.labelMinWidth, 350);
    QVERIFY(info.autoStep);
    QVERIFY(!info.cancelable);
    QCOMPARE(info.timeoutMs, 0);

    CProgressThreadInfo *plain = newInfo(false, 0);
    CProgressDlgEx dialog(nullptr, plain, Qt::WindowFlags());
    plain->setParent(&dialog);
    QVERIFY(!dialog.findChild<QPushButton *>());
    QVERIFY(!dialog.findChild<QShortcut *>());
    QProgressBar *bar = dialog.findChild<QProgressBar *>();
    QCOMPARE(bar->minimum(), 1);
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));

    CProgressThreadInfo *cancelable = newInfo(true, 0);
    CProgressDlgEx withButton(nullptr, cancelable, Qt::WindowFlags());
    cancelable->setParent(&withButton);
    QPushButton *button = withButton.findChild<QPushButton *>();
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Abbrechen"));
    QVERIFY(button->isDefault());
}

void tst_ProgressDialog::cancelableDialogCancels_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << QStringLiteral("button");
    QTest::newRow("Return") << QStringLiteral("return");
    QTest::newRow("Escape") << QStringLiteral("escape");
}

void tst_ProgressDialog::cancelableDialogCancels()
{
    QFETCH(QString, how);
    whenShown([how](CProgressDlgEx *dialog) {
        if (how == QLatin1String("button"))
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        else if (how == QLatin1String("return"))
            QTest::keyClick(dialog, Qt::Key_Return);
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!runProgressDialog(nullptr, newInfo(true, 20000), Qt::WindowFlags()));
    QVERIFY(timer.elapsed() < 10000);
}

void tst_ProgressDialog::plainDialogIgnoresKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Return") << int(Qt::Key_Return);
}

void tst_ProgressDialog::plainDialogIgnoresKeys()
{
    QFETCH(int, key);
    bool stillRunning = false;
    whenShown([key, &stillRunning](CProgressDlgEx *dialog) {
        QTest::keyClick(dialog, Qt::Key(key));
        stillRunning = QApplication::activeModalWidget() == dialog;
    });
    QVERIFY(runProgressDialog(nullptr, newInfo(false, 1000), Qt::WindowFlags()));
    QVERIFY(stillRunning);
}

void tst_ProgressDialog::timeLimitEndsTheRun()
{
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runProgressDialog(nullptr, newInfo(true, 1000), Qt::WindowFlags()));
    QVERIFY(timer.elapsed() >= 1000);
    // One tick of 250 ms after the limit, with room for a loaded machine.
    QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
}

void tst_ProgressDialog::wakeUpEndsTheRun()
{
    CProgressThreadInfo *info = newInfo(true, 20000);
    QPointer<CProgressThreadInfo> guarded(info);
    QTimer::singleShot(200, [guarded] {
        if (guarded)
            guarded->wakeUp();
    });
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runProgressDialog(nullptr, info, Qt::WindowFlags()));
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY2(!guarded, "the record is deleted with its dialog");
}

void tst_ProgressDialog::wakeUpBeforeTheFirstWaitIsKept()
{
    // The activity may finish before the worker thread first waits; the run still ends then.
    CProgressThreadInfo *info = newInfo(false, 20000);
    info->wakeUp();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runProgressDialog(nullptr, info, Qt::WindowFlags()));
    QVERIFY(timer.elapsed() < 10000);
}

void tst_ProgressDialog::autoStepCounts()
{
    CProgressThreadInfo *info = newInfo(false, 0);
    info->autoStep = true;
    info->tickMs = 2;
    CProgressDlgEx dialog(nullptr, info, Qt::WindowFlags());
    info->setParent(&dialog);
    QList<int> values;
    connect(dialog.findChild<QProgressBar *>(), &QProgressBar::valueChanged, &dialog,
            [&values, &dialog, info](int value) {
                values.append(value);
                if (values.size() == 102)
                    info->wakeUp();
            });
    dialog.exec();
    QVERIFY(values.size() >= 101);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(values.at(i), i + 1);
    QCOMPARE(values.at(100), 1);
}

void tst_ProgressDialog::valueOverwrittenBetweenTicksShownOnce()
{
    CProgressThreadInfo *info = newInfo(false, 0);
    info->tickMs = 400;
    CProgressDlgEx dialog(nullptr, info, Qt::WindowFlags());
    info->setParent(&dialog);
    QList<int> values;
    connect(dialog.findChild<QProgressBar *>(), &QProgressBar::valueChanged, &dialog,
            [&values, info](int value) {
                values.append(value);
                info->wakeUp();
            });
    QTimer::singleShot(50, &dialog, [info] {
        for (int value : {10, 20, 30}) {
            QMutexLocker locker(&info->mutex);
            info->pendingValue = value;
        }
    });
    dialog.exec();
    QCOMPARE(values, QList<int> {30});
}

void tst_ProgressDialog::labelFromPendingText()
{
    CProgressThreadInfo *info = newInfo(false, 0);
    info->tickMs = 20;
    info->text = QStringLiteral("http://127.0.0.1/a");
    CProgressDlgEx dialog(nullptr, info, Qt::WindowFlags());
    info->setParent(&dialog);
    QLabel *label = dialog.findChild<QLabel *>();
    QCOMPARE(label->text(), QStringLiteral("http://127.0.0.1/a"));
    QTimer::singleShot(50, &dialog, [info] {
        QMutexLocker locker(&info->mutex);
        info->pendingText = QStringLiteral("Lade Datei...");
    });
    QTimer poll;
    connect(&poll, &QTimer::timeout, &dialog, [label, info] {
        if (label->text() == QLatin1String("Lade Datei..."))
            info->wakeUp();
    });
    poll.start(10);
    dialog.exec();
    QCOMPARE(label->text(), QStringLiteral("Lade Datei..."));
}

void tst_ProgressDialog::closeStopsThreadFirst()
{
    CProgressThreadInfo *info = newInfo(false, 0);
    CProgressDlgEx dialog(nullptr, info, Qt::WindowFlags());
    info->setParent(&dialog);
    CProgressThread *thread = dialog.findChild<CProgressThread *>();
    QVERIFY(thread);
    bool finishedAtClose = false;
    QTimer::singleShot(100, &dialog, [&dialog, thread, &finishedAtClose] {
        QVERIFY(thread->isRunning());
        dialog.close();
        finishedAtClose = thread->isFinished();
    });
    dialog.exec();
    QVERIFY(finishedAtClose);
}

void tst_ProgressDialog::hiddenDialogIsNotShownOnScreen()
{
    CProgressThreadInfo *info = newInfo(false, 500);
    info->hidden = true;
    bool dontShow = false;
    whenShown([&dontShow](CProgressDlgEx *dialog) {
        dontShow = dialog->testAttribute(Qt::WA_DontShowOnScreen);
    });
    QVERIFY(runProgressDialog(nullptr, info, Qt::WindowFlags()));
    QVERIFY(dontShow);
}

// A hidden run that goes on longer than a moment shows the dialog, whose button cancels it.
void tst_ProgressDialog::hiddenDialogAppearsWhenTheRunTakesLong()
{
    CProgressThreadInfo *info = newInfo(true, 5000);
    info->hidden = true;
    info->showAfterMs = 300;
    bool shownOnScreen = false;
    QTimer::singleShot(800, [&shownOnScreen] {
        auto *dialog = qobject_cast<CProgressDlgEx *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shownOnScreen = dialog->isVisible() && !dialog->testAttribute(Qt::WA_DontShowOnScreen);
        dialog->findChild<QPushButton *>()->click();
    });
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!runProgressDialog(nullptr, info, Qt::WindowFlags()));
    QVERIFY(shownOnScreen);
    QVERIFY(timer.elapsed() < 5000);
}

QTEST_MAIN(tst_ProgressDialog)
#include "tst_progressdialog.moc"
