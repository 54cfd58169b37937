// The window's one way to ask the user anything: message boxes, the
// question of a disk prompt, the product-file dialog and the folder of disk
// images. The window uses the Qt dialogs; tests answer from a script.
#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;

class WindowDialogs {
public:
    virtual ~WindowDialogs() = default;
    // A message with an OK button; `warning` shows the exclamation icon.
    virtual void notice(const QString& text, bool warning) = 0;
    // A question with OK and Cancel and the exclamation icon: true for OK.
    virtual bool ask(const QString& text) = 0;
    // An existing product file to open; "" when the user cancelled.
    virtual QString open_file() = 0;
    // A folder for the disk images, starting at `folder`; "" when cancelled.
    virtual QString choose_folder(const QString& folder) = 0;
    // The CD-ROM image file to write, starting at `file`; "" when cancelled.
    virtual QString save_image(const QString& file) = 0;
};

// The Qt dialogs, shown over `parent`.
class QtDialogs : public WindowDialogs {
    Q_DECLARE_TR_FUNCTIONS(QtDialogs)

public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}
    void notice(const QString& text, bool warning) override;
    bool ask(const QString& text) override;
    QString open_file() override;
    QString choose_folder(const QString& folder) override;
    QString save_image(const QString& file) override;

private:
    QWidget* parent_;
};

// The file dialog's filter: ".prd" in any letter case.
QString product_file_filter();
