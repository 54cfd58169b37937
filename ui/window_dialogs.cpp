// The Qt dialogs behind the window's questions.
#include "ui/window_dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

void QtDialogs::notice(const QString& text, bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, tr("Diskward"), text,
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::ask(const QString& text) {
    QMessageBox box(QMessageBox::Warning, tr("Diskward"), text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent_);
    return box.exec() == QMessageBox::Ok;
}

QString product_file_filter() {
    return QCoreApplication::translate("QtDialogs", "products (*.[pP][rR][dD])");
}

QString QtDialogs::open_file() {
    QFileDialog dialog(parent_, tr("Open"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(product_file_filter());
    dialog.setDefaultSuffix("prd");
    dialog.selectFile("*.prd");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
    return dialog.selectedFiles().first();
}

QString QtDialogs::choose_folder(const QString& folder) {
    return QFileDialog::getExistingDirectory(parent_, tr("Folder of Disk Images"), folder);
}

QString QtDialogs::save_image(const QString& file) {
    return QFileDialog::getSaveFileName(parent_, tr("CD-ROM Image"), file,
                                        tr("CD-ROM images (*.iso)"));
}
