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

// The size checks' messages, marked for translation and shown through tr().
[[maybe_unused]] const char* const SIZE_MESSAGES[] = {
    QT_TRANSLATE_NOOP("OptionsDialog", "Please enter a positive integer."),
    QT_TRANSLATE_NOOP("OptionsDialog", "Please enter an integer between 0 and 10000.")};

QLineEdit* size_field(uint32_t value) {
    QLineEdit* field = new QLineEdit(QString::number(value));
    field->setMaximumWidth(80);
    field->setAlignment(Qt::AlignRight);
    return field;
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent, const MoreOptions& options, WindowDialogs* dialogs)
    : QDialog(parent), options_(options), dialogs_(dialogs) {
    setWindowTitle(tr("More Options"));
    backup_ = new QCheckBox(tr("Backup MAP and PRD Files"));
    backup_->setChecked(options.backup);
    no_split_ = new QCheckBox(tr("Do Not Split Uncompressed Files"));
    no_split_->setChecked(options.no_split);
    auto_compress_ = new QCheckBox(tr("Automatically Compress Files Larger Than"));
    auto_compress_->setChecked(options.auto_compress);
    compress_threshold_ = size_field(options.compress_threshold_kb);
    min_split_ = size_field(options.min_split_kb);
    slop_ = size_field(options.slop_kb);
    suppress_subdirectory_ = new QCheckBox(tr("Suppress Creation of Diskward Subdirectory"));
    suppress_subdirectory_->setChecked(options.suppress_subdirectory);
    harvest_ = new QCheckBox(tr("Add Superfluous Files to the MAP File"));
    harvest_->setChecked(options.harvest);

    backup_->setObjectName("backup");
    no_split_->setObjectName("no_split");
    auto_compress_->setObjectName("auto_compress");
    compress_threshold_->setObjectName("compress_threshold");
    min_split_->setObjectName("min_split");
    slop_->setObjectName("slop");
    suppress_subdirectory_->setObjectName("suppress_subdirectory");
    harvest_->setObjectName("harvest");

    QLabel* compress_unit = new QLabel(tr("KB"));
    QLabel* split_label = new QLabel(tr("Minimum Space for Splitting:"));
    QLabel* split_unit = new QLabel(tr("KB"));
    QLabel* slop_label = new QLabel(tr("Floppy Slop Size:"));
    QLabel* slop_unit = new QLabel(tr("KB"));

    QGridLayout* grid = new QGridLayout;
    grid->addWidget(backup_, 0, 0, 1, 3);
    grid->addWidget(no_split_, 1, 0, 1, 3);
    grid->addWidget(auto_compress_, 2, 0);
    grid->addWidget(compress_threshold_, 2, 1);
    grid->addWidget(compress_unit, 2, 2);
    grid->addWidget(split_label, 3, 0);
    grid->addWidget(min_split_, 3, 1);
    grid->addWidget(split_unit, 3, 2);
    grid->addWidget(slop_label, 4, 0);
    grid->addWidget(slop_, 4, 1);
    grid->addWidget(slop_unit, 4, 2);
    grid->addWidget(suppress_subdirectory_, 5, 0, 1, 3);
    grid->addWidget(harvest_, 6, 0, 1, 3);

    bool floppy = options.floppy_operation;
    for (QWidget* w : std::initializer_list<QWidget*>{
             no_split_, auto_compress_, compress_threshold_, compress_unit, split_label, min_split_,
             split_unit, slop_label, slop_, slop_unit})
        w->setEnabled(floppy);
    suppress_subdirectory_->setEnabled(!floppy);
    harvest_->setEnabled(!floppy);

    QDialogButtonBox* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
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
    for (Size size : {Size{compress_threshold_, &read.compress_threshold_kb},
                      Size{slop_, &read.slop_kb}, Size{min_split_, &read.min_split_kb}}) {
        std::string problem = options_size_problem(size.field->text().toStdString(), size.value);
        if (problem.empty()) continue;
        if (dialogs_) dialogs_->notice(tr(problem.c_str()), true);
        size.field->setFocus();
        size.field->selectAll();
        return;
    }
    read.backup = backup_->isChecked();
    read.no_split = no_split_->isChecked();
    read.auto_compress = auto_compress_->isChecked();
    read.suppress_subdirectory = suppress_subdirectory_->isChecked();
    read.harvest = harvest_->isChecked();
    options_ = read;
    QDialog::accept();
}

void options_show(QWidget* parent, MoreOptions* options, int operation, WindowDialogs* dialogs) {
    MoreOptions shown = *options;
    shown.floppy_operation = operation == OPERATION_ASSIGN || operation == OPERATION_CUT;
    OptionsDialog dialog(parent, shown, dialogs);
    if (dialog.exec() == QDialog::Accepted) *options = dialog.options();
}
