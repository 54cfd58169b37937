// The window program: the drive list of this host with the folder of disk
// images, and the main window, which opens a product file named on the
// command line as Browse and Open would. The hidden option
// "--screenshot PNG" assigns every product of that file onto 5.25" LD
// disks with automatic compression, saves a picture of the window as the display shows it and
// quits.
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "media/floppy_drives.h"
#include "ui/main_window.h"

namespace {

// Clicks through the form for the picture: every product, Assign, 5.25" LD
// and automatic compression (several disks and a file split over three),
// then the default button; the picture
// is saved once the run has ended. False when the form could not be driven.
bool assign_for_picture(MainWindow* window, const QString& picture) {
    QListWidget* products = window->findChild<QListWidget*>("products");
    QRadioButton* assign = window->findChild<QRadioButton*>("operation_assign");
    QRadioButton* medium = window->findChild<QRadioButton*>("media_3");
    QPushButton* run = window->findChild<QPushButton*>("run");
    if (!products || !assign || !medium || !run || products->count() == 0) return false;
    QObject::connect(window, &MainWindow::run_finished, window, [window, picture] {
        // Painted first, then taken from the display.
        QTimer::singleShot(300, window, [window, picture] {
            QPixmap shot = window->screen()->grabWindow(window->winId());
            if (shot.isNull() || shot.width() < 10) shot = window->grab();
            QApplication::exit(shot.save(picture) ? 0 : 1);
        });
    });
    // Tall enough for the report and every disk of the sample kit.
    window->resize(960, 1040);
    products->selectAll();
    assign->click();
    medium->click();
    // More Options: compress what is larger than the threshold.
    QTimer::singleShot(0, window, [] {
        QDialog* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QCheckBox* compress = options ? options->findChild<QCheckBox*>("auto_compress") : nullptr;
        if (compress) compress->setChecked(true);
        if (options) options->accept();
    });
    window->findChild<QPushButton*>("more_options")->click();
    run->click();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons);
    QCoreApplication::setOrganizationName("Diskward");
    QCoreApplication::setApplicationName("Diskward");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main",
                                    "Checks installer staging areas, lays products out "
                                    "on floppy disks and writes them."));
    parser.addHelpOption();
    parser.addPositionalArgument("product-file",
                                 QCoreApplication::translate("main", "The product file to open."),
                                 QCoreApplication::translate("main", "[product-file]"));
    QCommandLineOption screenshot("screenshot", "", "png");
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshot);
    parser.process(app);
    QStringList files = parser.positionalArguments();

    QString folder =
        QSettings().value("disk_folder", QDir::homePath() + "/diskward-disks").toString();
    floppy_drives_start("/dev");
    MainWindow window(window_drives("/sys", "/dev", folder.toUtf8().toStdString()));
    window.show();
    // Named as Browse would name it: a full path.
    bool opened =
        !files.isEmpty() && window.open_document(QFileInfo(files.first()).absoluteFilePath());
    if (!parser.isSet(screenshot)) return app.exec();
    if (!opened || !assign_for_picture(&window, parser.value(screenshot))) return 1;
    return app.exec();
}
