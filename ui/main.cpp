// The window program: the drive list of this host with the folder of disk
// images, and the main window. The hidden option "--screenshot PNG PRD"
// opens the product file, assigns every product onto 5.25" LD disks, saves a picture of the
// window and quits.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QDir>
#include <QSettings>
#include <QTimer>

#include "media/floppy_drives.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(icons);
    QCoreApplication::setOrganizationName("Diskward");
    QCoreApplication::setApplicationName("Diskward");
    QString screenshot, product_file;
    QStringList arguments = app.arguments();
    int at = int(arguments.indexOf("--screenshot"));
    if (at >= 0 && at + 2 < arguments.size()) {
        screenshot = arguments[at + 1];
        product_file = arguments[at + 2];
    }

    QString folder = QSettings().value("disk_folder", QDir::homePath() + "/diskward-disks").toString();
    floppy_drives_start("/dev");
    MainWindow window(window_drives("/sys", "/dev", folder.toStdString()));
    window.show();
    if (screenshot.isEmpty()) return app.exec();

    // The picture of an Assign on the named kit.
    window.prd_path->setText(product_file);
    if (!window.open_document(product_file)) return 1;
    window.products->selectAll();
    window.operations[OPERATION_ASSIGN]->click();
    window.media[3]->click();  // 5.25" LD: several disks and a split file
    window.build_and_run();
    app.processEvents();
    return window.grab().save(screenshot) ? 0 : 1;
}
