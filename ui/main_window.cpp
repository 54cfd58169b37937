// The main window and its form.
#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "media/floppy_drives.h"
#include "media/floppy_probe.h"
#include "sys/host_paths.h"
#include "ui/engine_worker.h"
#include "ui/layout_view.h"
#include "ui/options_dialog.h"
#include "ui/window_dialogs.h"

namespace {

constexpr int RECENT_FILES = 4;
const char* const OPERATION_TEXTS[] = {QT_TRANSLATE_NOOP("MainWindow", "Replicate To:"),
                                       QT_TRANSLATE_NOOP("MainWindow", "Update Staging Area"),
                                       QT_TRANSLATE_NOOP("MainWindow", "Assign Floppies"),
                                       QT_TRANSLATE_NOOP("MainWindow", "Cut Floppies"),
                                       QT_TRANSLATE_NOOP("MainWindow", "CD-ROM Image")};
const char* const OPERATION_NAMES[] = {"operation_replicate", "operation_update",
                                       "operation_assign", "operation_cut", "operation_image"};
// The texts the form's rules and the document hand up (captions and
// messages), marked here for translation and shown through tr().
[[maybe_unused]] const char* const HANDED_UP_TEXTS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "&Replicate"),
    QT_TRANSLATE_NOOP("MainWindow", "&Update"),
    QT_TRANSLATE_NOOP("MainWindow", "A&ssign"),
    QT_TRANSLATE_NOOP("MainWindow", "&Cut"),
    QT_TRANSLATE_NOOP("MainWindow", "&Write Image"),
    QT_TRANSLATE_NOOP("MainWindow", "3.5\" HD"),
    QT_TRANSLATE_NOOP("MainWindow", "5.25\" HD"),
    QT_TRANSLATE_NOOP("MainWindow", "3.5\" LD"),
    QT_TRANSLATE_NOOP("MainWindow", "5.25\" LD"),
    QT_TRANSLATE_NOOP("MainWindow", "3.5\" Japan"),
    QT_TRANSLATE_NOOP("MainWindow", "5.25\" Japan"),
    QT_TRANSLATE_NOOP("MainWindow", "Invalid Staging Area"),
    QT_TRANSLATE_NOOP("MainWindow", "Invalid OS"),
    QT_TRANSLATE_NOOP("MainWindow", "Error Reading PRD File"),
    QT_TRANSLATE_NOOP("MainWindow", "Parse Error in PRD File"),
    QT_TRANSLATE_NOOP("MainWindow", "Empty PRD File")};

QIcon program_icon() {
    QIcon icon;
    for (int size : {32, 64, 128, 256})
        icon.addFile(QString(":/icons/diskward-%1.png").arg(size), QSize(size, size));
    return icon;
}

// A host path or a text of the engine as the window shows it.
QString shown(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
std::string host(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

std::vector<DriveEntry> window_drives(const std::string& sys_root, const std::string& dev_root,
                                      const std::string& folder) {
    std::vector<DriveEntry> drives;
    char letter = 'A';
    for (const FloppyDevice& device : floppy_devices_probe(sys_root, dev_root)) {
        if (letter > 'Y') break;
        std::string root = std::string(1, letter) + ":";
        if (floppy_drive_bind(root + "\\", FLOPPY_DEVICE, device.device) == RC_OK)
            drives.push_back(DriveEntry{root, device.kind});
        ++letter;
    }
    drives.push_back(DriveEntry{folder, DRIVE_KIND_FOLDER});
    return drives;
}

MainWindow::MainWindow(const std::vector<DriveEntry>& drives, WindowDialogs* dialogs)
    : dialogs_(dialogs), drives_(drives) {
    if (!dialogs_) {
        own_dialogs_ = std::make_unique<QtDialogs>(this);
        dialogs_ = own_dialogs_.get();
    }
    engine_attach(&run_context_, &log_);
    worker_ = std::make_unique<EngineWorker>(&run_context_, &log_);
    prompt_user_ = PromptUser{dialogs_, worker_.get()};
    run_context_.front_end.disk_prompt = window_disk_prompt;
    run_context_.front_end.disk_prompt_user = &prompt_user_;
    connect(worker_.get(), &EngineWorker::line, this, &MainWindow::append_output);
    connect(worker_.get(), &EngineWorker::progress, this, &MainWindow::show_progress);
    connect(worker_.get(), &EngineWorker::question, this, &MainWindow::answer_question);
    connect(worker_.get(), &QThread::finished, this, &MainWindow::end_run);

    setWindowIcon(program_icon());
    setWindowTitle(tr("Untitled - Diskward"));
    build_menus();
    setCentralWidget(build_form());
    build_status_bar();
    resize(960, 760);

    // Start-up: the drive list, the first media some drive writes, then
    // everything about products disabled until a product file is open.
    for (const DriveEntry& drive : drives_) drive_list_->addItem(shown(drive.text));
    int first_media = 0, first_drive = -1;
    if (drive_choice_at_start(drives_, &first_media, &first_drive)) {
        media_[first_media]->setChecked(true);
        drive_list_->setCurrentIndex(first_drive);
    }
    operations_[OPERATION_REPLICATE]->setChecked(true);
    run_->setText(tr(operation_caption(OPERATION_REPLICATE)));
    set_products_enabled(false);
    open_->setEnabled(false);
    cancel_->setEnabled(false);
    make_default(run_);
}

MainWindow::~MainWindow() {
    // The worker is stopped before the run context it works on goes.
    worker_.reset();
    engine_detach(&run_context_);
}

bool MainWindow::running() const {
    return worker_->isRunning() || !held_.empty();
}

void MainWindow::build_menus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    open_action_ = file->addAction(tr("&Open..."), this, &MainWindow::open_from_menu);
    open_action_->setObjectName("open_action");
    open_action_->setShortcut(QKeySequence(tr("Ctrl+O")));
    open_action_->setStatusTip(tr("Open a PRD file"));
    file->addSeparator();
    for (int i = 0; i < RECENT_FILES; ++i) {
        recent_actions_[i] = file->addAction("");
        recent_actions_[i]->setObjectName(QString("recent_%1").arg(i));
        recent_actions_[i]->setStatusTip(tr("Open this document"));
        connect(recent_actions_[i], &QAction::triggered, this, [this, i] {
            QString path = recent_actions_[i]->data().toString();
            // An entry that no longer opens is taken off the list.
            if (!open_document(path) && !running()) forget_file(path);
        });
    }
    file->addSeparator();
    QAction* exit_action = file->addAction(tr("E&xit"), this, &QWidget::close);
    exit_action->setStatusTip(tr("Quit Diskward"));
    update_recent_menu();

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* cut = edit->addAction(tr("Cu&t"));
    cut->setShortcut(QKeySequence(tr("Ctrl+X")));
    cut->setStatusTip(tr("Cut the selection and put it on the Clipboard"));
    cut->setEnabled(false);
    copy_action_ = edit->addAction(tr("&Copy"));
    copy_action_->setObjectName("copy_action");
    copy_action_->setShortcut(QKeySequence(tr("Ctrl+C")));
    copy_action_->setStatusTip(tr("Copy the selection and put it on the Clipboard"));
    copy_action_->setEnabled(false);
    QAction* paste = edit->addAction(tr("&Paste"));
    paste->setShortcut(QKeySequence(tr("Ctrl+V")));
    paste->setStatusTip(tr("Insert Clipboard contents"));
    paste->setEnabled(false);
    QAction* all = edit->addAction(tr("Select &All"));
    all->setStatusTip(tr("Select the entire document"));
    all->setEnabled(false);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = help->addAction(tr("&About Diskward..."), this, &MainWindow::show_about);
    about->setStatusTip(tr("Display program information, version number and copyright"));
}

// Staging Area: the product file and its products.
QGroupBox* MainWindow::build_staging_group() {
    staging_group_ = new QGroupBox(tr("Staging Area"));
    staging_group_->setObjectName("staging_group");
    QLabel* prd_label = new QLabel(tr("PRD File"));
    prd_path_ = new QLineEdit;
    prd_path_->setObjectName("prd_path");
    prd_label->setBuddy(prd_path_);
    browse_ = new QPushButton(tr("&Browse..."));
    browse_->setObjectName("browse");
    open_ = new QPushButton(tr("&Open"));
    open_->setObjectName("open");
    products_label_ = new QLabel(tr("Products"));
    products_label_->setObjectName("products_label");
    products_ = new QListWidget;
    products_->setObjectName("products");
    products_->setMaximumHeight(110);
    products_->setSelectionMode(QAbstractItemView::MultiSelection);
    products_label_->setBuddy(products_);
    select_all_ = new QPushButton(tr("Select &All"));
    select_all_->setObjectName("select_all");
    deselect_all_ = new QPushButton(tr("&Deselect All"));
    deselect_all_->setObjectName("deselect_all");

    QGridLayout* grid = new QGridLayout(staging_group_);
    grid->addWidget(prd_label, 0, 0);
    grid->addWidget(prd_path_, 0, 1, 1, 2);
    QHBoxLayout* file_buttons = new QHBoxLayout;
    file_buttons->addWidget(browse_);
    file_buttons->addWidget(open_);
    grid->addLayout(file_buttons, 0, 3);
    grid->addWidget(products_label_, 1, 0, Qt::AlignTop);
    grid->addWidget(products_, 1, 1, 2, 2);
    QVBoxLayout* list_buttons = new QVBoxLayout;
    list_buttons->addWidget(select_all_);
    list_buttons->addWidget(deselect_all_);
    list_buttons->addStretch();
    grid->addLayout(list_buttons, 1, 3, 2, 1);
    grid->setColumnStretch(1, 1);
    return staging_group_;
}

// Operation: the radio buttons, the replicate target and the CD-ROM image
// with its Browse.
QGroupBox* MainWindow::build_operation_group() {
    operation_group_ = new QGroupBox(tr("Operation"));
    operation_group_->setObjectName("operation_group");
    operation_buttons_ = new QButtonGroup(this);
    QGridLayout* grid = new QGridLayout(operation_group_);
    for (int i = 0; i < OPERATION_COUNT; ++i) {
        operations_[i] = new QRadioButton(tr(OPERATION_TEXTS[i]));
        operations_[i]->setObjectName(OPERATION_NAMES[i]);
        operation_buttons_->addButton(operations_[i], i);
    }
    target_ = new QLineEdit;
    target_->setObjectName("target");
    target_->setMinimumWidth(160);
    grid->addWidget(operations_[0], 0, 0);
    grid->addWidget(target_, 0, 1);
    for (int i = 1; i < OPERATION_IMAGE; ++i) grid->addWidget(operations_[i], i, 0, 1, 2);
    image_ = new QLineEdit;
    image_->setObjectName("image");
    image_browse_ = new QPushButton(tr("Bro&wse..."));
    image_browse_->setObjectName("image_browse");
    QHBoxLayout* image_row = new QHBoxLayout;
    image_row->addWidget(image_, 1);
    image_row->addWidget(image_browse_);
    grid->addWidget(operations_[OPERATION_IMAGE], OPERATION_IMAGE, 0);
    grid->addLayout(image_row, OPERATION_IMAGE, 1);
    grid->setRowStretch(OPERATION_COUNT, 1);
    return operation_group_;
}

// Media Size and the floppy drive.
QGroupBox* MainWindow::build_media_group() {
    media_group_ = new QGroupBox(tr("Media Size"));
    media_group_->setObjectName("media_group");
    media_buttons_ = new QButtonGroup(this);
    QGridLayout* grid = new QGridLayout(media_group_);
    for (int m = 0; m < MEDIA_COUNT; ++m) {
        media_[m] = new QRadioButton(tr(media_caption(m)));
        media_[m]->setObjectName(QString("media_%1").arg(m));
        media_buttons_->addButton(media_[m], m);
        grid->addWidget(media_[m], m / 2, m % 2);
    }
    drive_label_ = new QLabel(tr("Floppy Drive"));
    drive_label_->setObjectName("drive_label");
    drive_list_ = new QComboBox;
    drive_list_->setObjectName("drive_list");
    drive_list_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    drive_list_->setMinimumContentsLength(24);
    drive_label_->setBuddy(drive_list_);
    drive_folder_ = new QToolButton;
    drive_folder_->setObjectName("drive_folder");
    drive_folder_->setText(tr("..."));
    drive_folder_->setToolTip(tr("Choose the folder of disk images"));
    grid->addWidget(drive_label_, 3, 0, 1, 2);
    QHBoxLayout* drive_row = new QHBoxLayout;
    drive_row->addWidget(drive_list_, 1);
    drive_row->addWidget(drive_folder_);
    grid->addLayout(drive_row, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    return media_group_;
}

// The default button, More Options, Cancel (for a run going) and Exit.
QLayout* MainWindow::build_buttons() {
    run_ = new QPushButton;
    run_->setObjectName("run");
    more_options_ = new QPushButton(tr("&More Options..."));
    more_options_->setObjectName("more_options");
    cancel_ = new QPushButton(tr("Cancel"));
    cancel_->setObjectName("cancel");
    exit_ = new QPushButton(tr("E&xit"));
    exit_->setObjectName("exit");
    QVBoxLayout* buttons = new QVBoxLayout;
    buttons->addWidget(run_);
    buttons->addWidget(more_options_);
    buttons->addWidget(cancel_);
    buttons->addWidget(exit_);
    buttons->addStretch();
    return buttons;
}

// Diskward Output: the pane, the layout picture (scrolled) with its legend,
// and Clear.
QGroupBox* MainWindow::build_output_group() {
    QGroupBox* group = new QGroupBox(tr("Diskward Output"));
    output_ = new QPlainTextEdit;
    output_->setObjectName("output");
    output_->setReadOnly(true);
    output_->setLineWrapMode(QPlainTextEdit::NoWrap);
    output_->setFont(QFont("Monospace", 9));
    output_->document()->setDocumentMargin(3);
    layout_view_ = new LayoutView;
    layout_view_->setObjectName("layout_view");
    layout_area_ = new QScrollArea;
    layout_area_->setObjectName("layout_area");
    layout_area_->setWidget(layout_view_);
    layout_area_->setWidgetResizable(true);
    layout_area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout_legend_ = new LayoutLegend;
    layout_legend_->setObjectName("layout_legend");
    QWidget* picture = new QWidget;
    QVBoxLayout* picture_column = new QVBoxLayout(picture);
    picture_column->setContentsMargins(0, 0, 0, 0);
    picture_column->addWidget(layout_legend_);
    picture_column->addWidget(layout_area_, 1);
    picture->hide();
    output_splitter_ = new QSplitter(Qt::Vertical);
    output_splitter_->addWidget(output_);
    output_splitter_->addWidget(picture);
    output_splitter_->setStretchFactor(0, 3);
    output_splitter_->setStretchFactor(1, 2);
    output_splitter_->setChildrenCollapsible(false);
    clear_ = new QPushButton(tr("C&lear"));
    clear_->setObjectName("clear");
    QGridLayout* grid = new QGridLayout(group);
    grid->addWidget(output_splitter_, 0, 0);
    QVBoxLayout* clear_column = new QVBoxLayout;
    clear_column->addWidget(clear_);
    clear_column->addStretch();
    grid->addLayout(clear_column, 0, 1);
    grid->setColumnStretch(0, 1);
    return group;
}

QWidget* MainWindow::build_form() {
    QWidget* form = new QWidget;
    QGridLayout* grid = new QGridLayout(form);
    grid->addWidget(build_staging_group(), 0, 0, 1, 3);
    grid->addLayout(build_buttons(), 0, 3, 2, 1);
    grid->addWidget(build_operation_group(), 1, 0, 1, 2);
    grid->addWidget(build_media_group(), 1, 2);
    grid->addWidget(build_output_group(), 2, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    grid->setRowStretch(0, 0);
    connect_rules();
    return form;
}

void MainWindow::build_status_bar() {
    status_text_ = new QLabel(tr("Ready"));
    status_text_->setObjectName("status_text");
    statusBar()->addWidget(status_text_, 1);
    progress_ = new QProgressBar;
    progress_->setObjectName("progress");
    progress_->setMinimumWidth(320);
    progress_->setMaximumWidth(480);
    progress_->setTextVisible(true);
    progress_->hide();
    statusBar()->addPermanentWidget(progress_);
}

void MainWindow::connect_rules() {
    connect(prd_path_, &QLineEdit::textEdited, this, &MainWindow::path_edited);
    connect(prd_path_, &QLineEdit::returnPressed, this, [this] {
        if (default_button_ && default_button_->isEnabled()) default_button_->click();
    });
    prd_path_->installEventFilter(this);
    target_->installEventFilter(this);
    connect(browse_, &QPushButton::clicked, this, &MainWindow::browse_for_file);
    connect(open_, &QPushButton::clicked, this, [this] { open_document(prd_path_->text()); });
    connect(products_, &QListWidget::itemSelectionChanged, this, &MainWindow::apply_enabling);
    connect(select_all_, &QPushButton::clicked, this, [this] {
        products_->selectAll();
        apply_enabling();
    });
    connect(deselect_all_, &QPushButton::clicked, this, [this] {
        products_->clearSelection();
        apply_enabling();
    });
    connect(operation_buttons_, &QButtonGroup::idClicked, this, &MainWindow::choose_operation);
    connect(target_, &QLineEdit::textChanged, this, &MainWindow::apply_enabling);
    connect(image_, &QLineEdit::textChanged, this, &MainWindow::apply_enabling);
    connect(image_, &QLineEdit::textEdited, this, [this] {
        operations_[OPERATION_IMAGE]->setChecked(true);
        choose_operation(OPERATION_IMAGE);
    });
    connect(image_browse_, &QPushButton::clicked, this, &MainWindow::browse_for_image);
    connect(target_, &QLineEdit::returnPressed, this, [this] {
        if (run_->isEnabled()) run_->click();
    });
    connect(media_buttons_, &QButtonGroup::idClicked, this, &MainWindow::choose_media);
    connect(drive_list_, &QComboBox::activated, this, &MainWindow::choose_drive);
    connect(drive_folder_, &QToolButton::clicked, this, &MainWindow::pick_folder);
    connect(run_, &QPushButton::clicked, this, [this] { build_and_run(); });
    connect(more_options_, &QPushButton::clicked, this,
            [this] { options_show(this, &options_, form_state().operation, dialogs_); });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        worker_->cancel();
        cancel_->setEnabled(false);
        status_text_->setText(run_status_ + tr(" ... Cancelling."));
    });
    connect(exit_, &QPushButton::clicked, this, &QWidget::close);
    connect(clear_, &QPushButton::clicked, this, [this] {
        output_->clear();
        layout_view_->clear();
        layout_area_->parentWidget()->hide();
    });
    connect(output_, &QPlainTextEdit::copyAvailable, copy_action_, &QAction::setEnabled);
    connect(copy_action_, &QAction::triggered, output_, &QPlainTextEdit::copy);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == target_ && target_->isEnabled()) {
            operations_[OPERATION_REPLICATE]->setChecked(true);
            choose_operation(OPERATION_REPLICATE);
        } else if (watched == prd_path_ && !prd_path_->text().isEmpty()) {
            make_default(open_);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!running()) {
        event->accept();
        return;
    }
    event->ignore();
    if (close_after_run_) return;
    if (!dialogs_->ask(tr("A run is going. Cancel it and close the window?"))) return;
    close_after_run_ = true;
    cancel_->click();
}

// Enter presses the default button from anywhere in the form, as in a
// dialog: from the product list and the option buttons too. A focused push
// button is pressed itself; the two text fields press theirs on their own.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget* focus = QApplication::focusWidget();
    if (!enter || running() || focus == prd_path_ || focus == target_) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    auto* button = qobject_cast<QPushButton*>(focus);
    if (!button) button = default_button_;
    if (button && button->isEnabled()) button->click();
}

void MainWindow::make_default(QPushButton* button) {
    for (QPushButton* b : {open_, run_}) b->setDefault(b == button);
    default_button_ = button;
}

FormState MainWindow::form_state() const {
    FormState state;
    state.prd_path = host(prd_path_->text());
    state.names = document_.names;
    state.selected.assign(state.names.size(), false);
    for (int i = 0; i < products_->count() && size_t(i) < state.selected.size(); ++i)
        state.selected[size_t(i)] = products_->item(i)->isSelected();
    state.operation = OPERATION_REPLICATE;
    for (int i = 0; i < OPERATION_COUNT; ++i)
        if (operations_[i]->isChecked()) state.operation = i;
    state.target = host(target_->text());
    state.image = host(image_->text());
    state.media = 0;
    for (int m = 0; m < MEDIA_COUNT; ++m)
        if (media_[m]->isChecked()) state.media = m;
    state.drives = drives_;
    state.drive = drive_list_->currentIndex();
    state.options = options_;
    return state;
}

void MainWindow::set_products_enabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{products_label_, products_, operation_group_,
                                                      select_all_, deselect_all_, more_options_})
        w->setEnabled(on);
    if (!on) {
        media_group_->setEnabled(false);
        for (QRadioButton* button : media_) button->setEnabled(false);
    }
    apply_enabling();
}

void MainWindow::apply_enabling() {
    FormEnabling e = form_enabling(form_state());
    run_->setEnabled(e.run);
    if (!operation_group_->isEnabled()) return;
    media_group_->setEnabled(e.media_group);
    drive_label_->setEnabled(e.media_group);
    drive_list_->setEnabled(e.media_group);
    for (int m = 0; m < MEDIA_COUNT; ++m) media_[m]->setEnabled(e.media_group && e.media[m]);
}

void MainWindow::choose_operation(int operation) {
    run_->setText(tr(operation_caption(operation)));
    apply_enabling();
}

void MainWindow::choose_media(int index) {
    int drive = drive_for_media(drives_, index);
    if (drive >= 0) drive_list_->setCurrentIndex(drive);
    apply_enabling();
}

void MainWindow::choose_drive(int index) {
    if (index < 0 || size_t(index) >= drives_.size()) return;
    int chosen = form_state().media;
    media_[media_for_drive(drives_[size_t(index)].kind, chosen)]->setChecked(true);
    apply_enabling();
}

void MainWindow::path_edited(const QString& text) {
    open_->setEnabled(!text.isEmpty());
    if (!text.isEmpty()) make_default(open_);
    products_->clear();
    set_products_enabled(false);
}

void MainWindow::browse_for_file() {
    QString path = dialogs_->open_file();
    if (path.isEmpty()) return;
    prd_path_->setText(path);
    path_edited(path);
    open_->setFocus();
}

void MainWindow::browse_for_image() {
    QString path = dialogs_->save_image(image_->text());
    if (path.isEmpty()) return;
    image_->setText(path);
    operations_[OPERATION_IMAGE]->setChecked(true);
    choose_operation(OPERATION_IMAGE);
}

void MainWindow::open_from_menu() {
    QString path = dialogs_->open_file();
    if (path.isEmpty()) return;
    // The path field takes the file only when it opens.
    open_document(path);
}

void MainWindow::pick_folder() {
    if (drives_.empty()) return;
    DriveEntry& folder = drives_.back();
    QString chosen = dialogs_->choose_folder(shown(folder.text));
    if (chosen.isEmpty()) return;
    folder.text = host(chosen);
    drive_list_->setItemText(int(drives_.size()) - 1, chosen);
    QSettings().setValue("disk_folder", chosen);
}

bool MainWindow::open_document(const QString& path) {
    // The document is read with the run context, which a run holds.
    if (running()) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ProductDocument opened;
    ResultCode code = doc_open(&run_context_, host(path), &opened);
    QApplication::restoreOverrideCursor();
    if (code != RC_OK) {
        std::string message = doc_open_message(code);
        if (!message.empty()) dialogs_->notice(tr(message.c_str()), true);
        return false;
    }
    document_ = opened;
    remember_file(path);
    setWindowTitle(tr("%1 - Diskward").arg(QFileInfo(path).fileName()));
    prd_path_->setText(path);
    products_->clear();
    for (const std::string& label : document_.labels) products_->addItem(shown(label));
    open_->setEnabled(true);
    set_products_enabled(true);
    apply_enabling();
    make_default(run_);
    return true;
}

void MainWindow::remember_file(const QString& path) {
    QSettings settings;
    QStringList files = settings.value("recent_files").toStringList();
    QString full = QFileInfo(path).absoluteFilePath();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > RECENT_FILES) files.removeLast();
    settings.setValue("recent_files", files);
    update_recent_menu();
}

void MainWindow::forget_file(const QString& path) {
    QSettings settings;
    QStringList files = settings.value("recent_files").toStringList();
    files.removeAll(QFileInfo(path).absoluteFilePath());
    settings.setValue("recent_files", files);
    update_recent_menu();
}

void MainWindow::update_recent_menu() {
    QStringList files = QSettings().value("recent_files").toStringList();
    for (int i = 0; i < RECENT_FILES; ++i) {
        bool listed = i < files.size();
        recent_actions_[i]->setVisible(listed);
        if (!listed) continue;
        recent_actions_[i]->setText(QString("&%1 %2").arg(i + 1).arg(files[i]));
        recent_actions_[i]->setData(files[i]);
    }
}

void MainWindow::show_about() {
    QDialog about(this);
    about.setWindowTitle(tr("About"));
    QLabel* icon = new QLabel;
    icon->setPixmap(QPixmap(":/icons/diskward-64.png"));
    QLabel* text = new QLabel(tr(ABOUT_VERSION_TEXT) + "\n" + tr(MAKER_NOTICE_TEXT));
    QDialogButtonBox* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    QGridLayout* grid = new QGridLayout(&about);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(text, 0, 1);
    grid->addWidget(ok, 1, 0, 1, 2);
    about.exec();
}

void MainWindow::append_output(const QString& text) {
    output_->moveCursor(QTextCursor::End);
    output_->insertPlainText(text);
    output_->verticalScrollBar()->setValue(output_->verticalScrollBar()->maximum());
}

void MainWindow::show_progress(const QString& text, int value, int maximum) {
    progress_->setMaximum(maximum);
    progress_->setValue(value);
    // One line, cut in the middle when the name is long, so that it never wraps.
    int room = std::max(progress_->width(), progress_->minimumWidth()) -
               2 * progress_->fontMetrics().averageCharWidth();
    progress_->setFormat(progress_->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    progress_->setToolTip(text);
    progress_->show();
}

void MainWindow::answer_question(const QString& text, bool with_cancel) {
    bool ok = true;
    if (with_cancel)
        ok = dialogs_->ask(text);
    else
        dialogs_->notice(text, false);
    worker_->answer(ok);
}

// While a run goes, everything that would change its choices or the run
// context is held; Cancel is offered instead.
void MainWindow::hold_form(bool held) {
    if (held) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 staging_group_, operation_group_, media_group_, run_, more_options_, clear_}) {
            held_.emplace_back(w, w->isEnabled());
            w->setEnabled(false);
        }
        for (QAction* action : recent_actions_) action->setEnabled(false);
        open_action_->setEnabled(false);
        cancel_->setEnabled(true);
        return;
    }
    for (auto& [w, enabled] : held_) w->setEnabled(enabled);
    held_.clear();
    for (QAction* action : recent_actions_) action->setEnabled(true);
    open_action_->setEnabled(true);
    cancel_->setEnabled(false);
}

bool MainWindow::build_and_run() {
    if (running()) return false;
    FormState state = form_state();
    EngineCommand command;
    std::string problem = form_build_command(state, &command);
    if (!problem.empty()) {
        dialogs_->notice(tr(problem.c_str()), false);
        return false;
    }
    if (!command.drive_folder.empty()) (void)floppy_folder_make(command.drive_folder);
    run_operation_ = state.operation;
    start_run(command);
    return true;
}

void MainWindow::start_run(const EngineCommand& command) {
    command_ = command;
    // The image is the console's --iso: it reaches the engine through the
    // run context, never among the words.
    run_context_.front_end.cd_image =
        command.image.empty() ? "" : console_convert_argument(command.image);
    run_context_.front_end.cd_image_label.clear();
    layout_view_->clear();
    layout_area_->parentWidget()->hide();
    // The report begins with the command line, then the products.
    QString opening = shown(command.text);
    run_status_ = opening;
    if (!command.product_text.empty()) {
        opening += " -n" + shown(command.product_text);
        run_status_ += " -n" + shown(command.product_text);
    }
    append_output(opening + "\n\n");
    status_text_->setText(run_status_ + " ... ");
    hold_form(true);
    run_context_.front_end.harvest = command.harvest;
    worker_->start_calls(form_engine_calls(command));
}

// The picture takes the room its disks need, up to three fifths of the
// output's height; the rest scrolls.
void MainWindow::show_layouts() {
    layout_view_->set_layouts(worker_->layouts(), worker_->medium());
    QWidget* picture = layout_area_->parentWidget();
    picture->show();
    int total = output_splitter_->height();
    int wanted = layout_legend_->sizeHint().height() + layout_view_->minimumSizeHint().height() +
                 2 * layout_area_->frameWidth() + picture->layout()->spacing();
    int height = std::min(wanted, total * 3 / 5);
    output_splitter_->setSizes({total - height, height});
}

void MainWindow::end_run() {
    worker_->wait();
    append_output(QString(69, '-') + "\n\n");
    progress_->hide();
    status_text_->setText(run_status_ + " ... " + tr("Done."));
    hold_form(false);
    if (!worker_->layouts().empty()) show_layouts();
    bool succeeded = worker_->succeeded();
    if (run_operation_ == OPERATION_REPLICATE && succeeded && !close_after_run_) {
        // The next run works on the copy.
        operations_[OPERATION_UPDATE]->setChecked(true);
        choose_operation(OPERATION_UPDATE);
        std::string copy_dir;
        const std::string& copied = run_copy_directory(&run_context_);
        if (host_path_resolve(copied, &copy_dir) != RC_OK) copy_dir = copied;
        QString copy = shown(copy_dir + "/" + command_.product_file);
        prd_path_->setText(copy);
        open_document(copy);
    }
    emit run_finished(succeeded);
    if (close_after_run_) close();
}
