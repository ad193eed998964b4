// The updater client as a process of its own, for the end-to-end tests: it starts the window
// on an installation, presses "Nach Updates suchen" and "Update starten", answers every
// question with Yes and prints each dialog as "title|text" on a line.
// Usage: e2e_client UPDATER_DIR [lg_updater options...]
#include "app/mainwindow.h"
#include "yesdialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {

void press(MainWindow &window, const QString &text)
{
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == text && button->isEnabled())
            button->click();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The test's own certificate authority, trusted by this process only.
    const QString testAuthority = qEnvironmentVariable("LEDGORA_TEST_CA");
    if (!testAuthority.isEmpty()) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(configuration.caCertificates()
                                        + QSslCertificate::fromPath(testAuthority));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    QStringList arguments = application.arguments();
    if (arguments.size() < 2)
        return 2;
    YesDialogs dialogs;
    MainWindowContext context;
    context.executableDir = arguments.takeAt(1);
    context.arguments = arguments;
    context.dialogs = &dialogs;
    context.quit = [] {};
    MainWindow window(context);
    press(window, QStringLiteral("Nach Updates suchen"));
    press(window, QStringLiteral("Update starten"));
    return 0;
}
