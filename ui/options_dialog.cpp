// The More Options dialog.
#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/window_dialogs.h"

namespace {

QLineEdit* size_field(uint32_t value) {
    QLineEdit* field = new QLineEdit(QString::number(value));
    field->setMaximumWidth(80);
    field->setAlignment(Qt::AlignRight);
    return field;
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent, const MoreOptions& options, WindowDialogs* dialogs)
    : QDialog(parent), options_(options), dialogs_(dialogs) {
    setWindowTitle("More Options");
    backup = new QCheckBox("Backup MAP and PRD Files");
    backup->setChecked(options.backup);
    no_split = new QCheckBox("Do Not Split Uncompressed Files");
    no_split->setChecked(options.no_split);
    auto_compress = new QCheckBox("Automatically Compress Files Larger Than");
    auto_compress->setChecked(options.auto_compress);
    compress_threshold = size_field(options.compress_threshold_kb);
    min_split = size_field(options.min_split_kb);
    slop = size_field(options.slop_kb);
    suppress_subdirectory = new QCheckBox("Suppress Creation of Diskward Subdirectory");
    suppress_subdirectory->setChecked(options.suppress_subdirectory);

    QLabel* compress_unit = new QLabel("KB");
    QLabel* split_label = new QLabel("Minimum Space for Splitting:");
    QLabel* split_unit = new QLabel("KB");
    QLabel* slop_label = new QLabel("Floppy Slop Size:");
    QLabel* slop_unit = new QLabel("KB");

    QGridLayout* grid = new QGridLayout;
    grid->addWidget(backup, 0, 0, 1, 3);
    grid->addWidget(no_split, 1, 0, 1, 3);
    grid->addWidget(auto_compress, 2, 0);
    grid->addWidget(compress_threshold, 2, 1);
    grid->addWidget(compress_unit, 2, 2);
    grid->addWidget(split_label, 3, 0);
    grid->addWidget(min_split, 3, 1);
    grid->addWidget(split_unit, 3, 2);
    grid->addWidget(slop_label, 4, 0);
    grid->addWidget(slop, 4, 1);
    grid->addWidget(slop_unit, 4, 2);
    grid->addWidget(suppress_subdirectory, 5, 0, 1, 3);

    bool floppy = options.floppy_operation;
    for (QWidget* w : std::initializer_list<QWidget*>{no_split, auto_compress, compress_threshold,
                                                       compress_unit, split_label, min_split,
                                                       split_unit, slop_label, slop, slop_unit})
        w->setEnabled(floppy);
    suppress_subdirectory->setEnabled(!floppy);

    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    QVBoxLayout* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(buttons);
}

void OptionsDialog::accept() {
    MoreOptions read = options_;
    struct Size {
        QLineEdit* field;
        uint32_t* value;
    };
    for (Size size : {Size{compress_threshold, &read.compress_threshold_kb},
                      Size{slop, &read.slop_kb}, Size{min_split, &read.min_split_kb}}) {
        std::string problem = options_size_problem(size.field->text().toStdString(), size.value);
        if (problem.empty()) continue;
        if (dialogs_) dialogs_->notice(QString::fromStdString(problem), true);
        size.field->setFocus();
        size.field->selectAll();
        return;
    }
    read.backup = backup->isChecked();
    read.no_split = no_split->isChecked();
    read.auto_compress = auto_compress->isChecked();
    read.suppress_subdirectory = suppress_subdirectory->isChecked();
    options_ = read;
    QDialog::accept();
}

void options_show(QWidget* parent, MoreOptions* options, int operation, WindowDialogs* dialogs) {
    MoreOptions shown = *options;
    shown.floppy_operation = operation == OPERATION_ASSIGN || operation == OPERATION_CUT;
    OptionsDialog dialog(parent, shown, dialogs);
    if (dialog.exec() == QDialog::Accepted) *options = dialog.options();
}
