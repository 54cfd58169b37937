// The More Options dialog: the options record's controls, the floppy half
// enabled for Assign and Cut and the subdirectory and harvest boxes for
// Update, and the checking of the three sizes when OK is pressed.
#pragma once

#include <QDialog>

#include "ui/form_rules.h"

class QCheckBox;
class QLineEdit;
class QLabel;
class WindowDialogs;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `options` with the halves enabled by options.floppy_operation.
    OptionsDialog(QWidget* parent, const MoreOptions& options, WindowDialogs* dialogs);
    // The values as the dialog holds them; valid after it was accepted.
    const MoreOptions& options() const { return options_; }

public slots:
    // Keeps the dialog open, with the message and the focus on the field,
    // when a size is not a number from 0 to 10000.
    void accept() override;

private:
    QCheckBox* backup_;
    QCheckBox* auto_compress_;
    QLineEdit* compress_threshold_;
    QLineEdit* slop_;
    QLineEdit* min_split_;
    QCheckBox* suppress_subdirectory_;
    QCheckBox* no_split_;
    QCheckBox* harvest_;
    MoreOptions options_;
    WindowDialogs* dialogs_;
};

// Sets floppy_operation from `operation` and shows the dialog modally; OK
// stores the values in *options, Cancel leaves them.
void options_show(QWidget* parent, MoreOptions* options, int operation, WindowDialogs* dialogs);
