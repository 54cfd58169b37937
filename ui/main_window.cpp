// The main window and its form.
#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "engine/engine_main.h"
#include "media/floppy_drives.h"
#include "media/floppy_probe.h"
#include "sys/host_paths.h"
#include "ui/layout_view.h"
#include "ui/options_dialog.h"
#include "ui/window_dialogs.h"

namespace {

constexpr int RECENT_FILES = 4;
const char* const OPERATION_TEXTS[] = {"Replicate To:", "Update Staging Area", "Assign Floppies",
                                       "Cut Floppies"};

// The progress callbacks: the run context is the user value, its prompt
// user names the window.
void disk_progress(void* user, uint32_t bytes) {
    RunContext* rc = static_cast<RunContext*>(user);
    PromptUser* bound = static_cast<PromptUser*>(rc->disk_prompt_user);
    if (bound && bound->window) bound->window->show_progress(rc, bytes, false);
}

void compress_progress(void* user, uint32_t bytes) {
    RunContext* rc = static_cast<RunContext*>(user);
    PromptUser* bound = static_cast<PromptUser*>(rc->disk_prompt_user);
    if (bound && bound->window) bound->window->show_progress(rc, bytes, true);
}

QIcon program_icon() {
    QIcon icon;
    for (int size : {32, 64, 128, 256})
        icon.addFile(QString(":/icons/diskward-%1.png").arg(size), QSize(size, size));
    return icon;
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
    log_.publish = [this](const std::string& line) { publish(line); };
    engine_attach(&rc_, &log_);
    prompt_user_ = PromptUser{dialogs_, this};
    rc_.disk_prompt = window_disk_prompt;
    rc_.disk_prompt_user = &prompt_user_;
    rc_.disk_progress = disk_progress;
    rc_.compress_progress = compress_progress;

    setWindowIcon(program_icon());
    setWindowTitle("Untitled - Diskward");
    build_menus();
    setCentralWidget(build_form());
    status_text = new QLabel("Ready");
    statusBar()->addWidget(status_text, 1);
    progress = new QProgressBar;
    progress->setMaximumWidth(260);
    progress->setTextVisible(true);
    progress->hide();
    statusBar()->addPermanentWidget(progress);
    resize(960, 760);

    // Start-up: the drive list, the first media some drive writes, then
    // everything about products disabled until a product file is open.
    for (const DriveEntry& drive : drives_) drive_list->addItem(QString::fromStdString(drive.text));
    int first_media = 0, first_drive = -1;
    if (drive_choice_at_start(drives_, &first_media, &first_drive)) {
        media[first_media]->setChecked(true);
        drive_list->setCurrentIndex(first_drive);
    }
    operations[OPERATION_REPLICATE]->setChecked(true);
    run->setText(operation_caption(OPERATION_REPLICATE));
    set_products_enabled(false);
    open->setEnabled(false);
    make_default(run);
}

MainWindow::~MainWindow() { engine_detach(&rc_); }

void MainWindow::build_menus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* open_action = file->addAction("&Open...", this, &MainWindow::open_from_menu);
    open_action->setShortcut(QKeySequence("Ctrl+O"));
    open_action->setStatusTip("Open a PRD file");
    file->addSeparator();
    for (int i = 0; i < RECENT_FILES; ++i) {
        recent_actions[i] = file->addAction("");
        recent_actions[i]->setStatusTip("Open this document");
        connect(recent_actions[i], &QAction::triggered, this, [this, i] {
            QString path = recent_actions[i]->data().toString();
            prd_path->setText(path);
            open_document(path);
        });
    }
    file->addSeparator();
    QAction* exit_action = file->addAction("E&xit", this, &QWidget::close);
    exit_action->setStatusTip("Quit Diskward");
    update_recent_menu();

    QMenu* edit = menuBar()->addMenu("&Edit");
    QAction* cut = edit->addAction("Cu&t");
    cut->setShortcut(QKeySequence("Ctrl+X"));
    cut->setStatusTip("Cut the selection and put it on the Clipboard");
    cut->setEnabled(false);
    copy_action = edit->addAction("&Copy");
    copy_action->setShortcut(QKeySequence("Ctrl+C"));
    copy_action->setStatusTip("Copy the selection and put it on the Clipboard");
    copy_action->setEnabled(false);
    QAction* paste = edit->addAction("&Paste");
    paste->setShortcut(QKeySequence("Ctrl+V"));
    paste->setStatusTip("Insert Clipboard contents");
    paste->setEnabled(false);
    QAction* all = edit->addAction("Select &All");
    all->setStatusTip("Select the entire document");
    all->setEnabled(false);

    QMenu* help = menuBar()->addMenu("&Help");
    QAction* about = help->addAction("&About Diskward...", this, &MainWindow::show_about);
    about->setStatusTip("Display program information, version number and copyright");
}

QWidget* MainWindow::build_form() {
    QWidget* form = new QWidget;

    // Staging Area: the product file and its products.
    QGroupBox* staging = new QGroupBox("Staging Area");
    QLabel* prd_label = new QLabel("PRD File");
    prd_path = new QLineEdit;
    prd_label->setBuddy(prd_path);
    browse = new QPushButton("&Browse...");
    open = new QPushButton("&Open");
    products_label = new QLabel("Products");
    products = new QListWidget;
    products->setMaximumHeight(110);
    products->setSelectionMode(QAbstractItemView::MultiSelection);
    products_label->setBuddy(products);
    select_all = new QPushButton("Select &All");
    deselect_all = new QPushButton("&Deselect All");
    QGridLayout* staging_grid = new QGridLayout(staging);
    staging_grid->addWidget(prd_label, 0, 0);
    staging_grid->addWidget(prd_path, 0, 1, 1, 2);
    QHBoxLayout* file_buttons = new QHBoxLayout;
    file_buttons->addWidget(browse);
    file_buttons->addWidget(open);
    staging_grid->addLayout(file_buttons, 0, 3);
    staging_grid->addWidget(products_label, 1, 0, Qt::AlignTop);
    staging_grid->addWidget(products, 1, 1, 2, 2);
    QVBoxLayout* list_buttons = new QVBoxLayout;
    list_buttons->addWidget(select_all);
    list_buttons->addWidget(deselect_all);
    list_buttons->addStretch();
    staging_grid->addLayout(list_buttons, 1, 3, 2, 1);
    staging_grid->setColumnStretch(1, 1);

    // Operation.
    operation_group = new QGroupBox("Operation");
    QButtonGroup* operation_buttons = new QButtonGroup(this);
    QGridLayout* operation_grid = new QGridLayout(operation_group);
    for (int i = 0; i < 4; ++i) {
        operations[i] = new QRadioButton(OPERATION_TEXTS[i]);
        operation_buttons->addButton(operations[i], i);
    }
    target = new QLineEdit;
    target->setMinimumWidth(160);
    operation_grid->addWidget(operations[0], 0, 0);
    operation_grid->addWidget(target, 0, 1);
    for (int i = 1; i < 4; ++i) operation_grid->addWidget(operations[i], i, 0, 1, 2);
    operation_grid->setRowStretch(4, 1);

    // Media Size and the floppy drive.
    media_group = new QGroupBox("Media Size");
    QButtonGroup* media_buttons = new QButtonGroup(this);
    QGridLayout* media_grid = new QGridLayout(media_group);
    for (int m = 0; m < MEDIA_COUNT; ++m) {
        media[m] = new QRadioButton(media_caption(m));
        media_buttons->addButton(media[m], m);
        media_grid->addWidget(media[m], m / 2, m % 2);
    }
    drive_label = new QLabel("Floppy Drive");
    drive_list = new QComboBox;
    drive_list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    drive_list->setMinimumContentsLength(12);
    drive_label->setBuddy(drive_list);
    drive_folder = new QToolButton;
    drive_folder->setText("...");
    drive_folder->setToolTip("Choose the folder of disk images");
    media_grid->addWidget(drive_label, 3, 0, 1, 2);
    QHBoxLayout* drive_row = new QHBoxLayout;
    drive_row->addWidget(drive_list, 1);
    drive_row->addWidget(drive_folder);
    media_grid->addLayout(drive_row, 4, 0, 1, 2);
    media_grid->setRowStretch(5, 1);

    // The buttons.
    run = new QPushButton(operation_caption(OPERATION_REPLICATE));
    more_options = new QPushButton("&More Options...");
    exit = new QPushButton("E&xit");
    QVBoxLayout* buttons = new QVBoxLayout;
    buttons->addWidget(run);
    buttons->addWidget(more_options);
    buttons->addWidget(exit);
    buttons->addStretch();

    // Diskward Output: the pane, the layout picture and Clear.
    QGroupBox* output_group = new QGroupBox("Diskward Output");
    output = new QPlainTextEdit;
    output->setReadOnly(true);
    output->setLineWrapMode(QPlainTextEdit::NoWrap);
    output->setFont(QFont("Monospace", 9));
    output->document()->setDocumentMargin(3);
    layout_view = new LayoutView;
    layout_view->hide();
    QSplitter* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(output);
    splitter->addWidget(layout_view);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    clear = new QPushButton("C&lear");
    QGridLayout* output_grid = new QGridLayout(output_group);
    output_grid->addWidget(splitter, 0, 0);
    QVBoxLayout* clear_column = new QVBoxLayout;
    clear_column->addWidget(clear);
    clear_column->addStretch();
    output_grid->addLayout(clear_column, 0, 1);
    output_grid->setColumnStretch(0, 1);

    QGridLayout* grid = new QGridLayout(form);
    grid->addWidget(staging, 0, 0, 1, 3);
    grid->addLayout(buttons, 0, 3, 2, 1);
    grid->addWidget(operation_group, 1, 0, 1, 2);
    grid->addWidget(media_group, 1, 2);
    grid->addWidget(output_group, 2, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    grid->setRowStretch(0, 0);

    // The rules.
    connect(prd_path, &QLineEdit::textEdited, this, &MainWindow::path_edited);
    connect(prd_path, &QLineEdit::returnPressed, this, [this] {
        if (default_button_ && default_button_->isEnabled()) default_button_->click();
    });
    prd_path->installEventFilter(this);
    target->installEventFilter(this);
    connect(browse, &QPushButton::clicked, this, &MainWindow::browse_for_file);
    connect(open, &QPushButton::clicked, this, [this] { open_document(prd_path->text()); });
    connect(products, &QListWidget::itemSelectionChanged, this, &MainWindow::apply_enabling);
    connect(select_all, &QPushButton::clicked, this, [this] {
        products->selectAll();
        apply_enabling();
    });
    connect(deselect_all, &QPushButton::clicked, this, [this] {
        products->clearSelection();
        apply_enabling();
    });
    connect(operation_buttons, &QButtonGroup::idClicked, this, &MainWindow::choose_operation);
    connect(target, &QLineEdit::textChanged, this, &MainWindow::apply_enabling);
    connect(target, &QLineEdit::returnPressed, this, [this] {
        if (run->isEnabled()) run->click();
    });
    connect(media_buttons, &QButtonGroup::idClicked, this, &MainWindow::choose_media);
    connect(drive_list, &QComboBox::activated, this, &MainWindow::choose_drive);
    connect(drive_folder, &QToolButton::clicked, this, &MainWindow::pick_folder);
    connect(run, &QPushButton::clicked, this, [this] { build_and_run(); });
    connect(more_options, &QPushButton::clicked, this, [this] {
        options_show(this, &options_, form_state().operation, dialogs_);
    });
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(clear, &QPushButton::clicked, this, [this] {
        output->clear();
        layout_view->clear();
        layout_view->hide();
    });
    connect(output, &QPlainTextEdit::copyAvailable, copy_action, &QAction::setEnabled);
    connect(copy_action, &QAction::triggered, output, &QPlainTextEdit::copy);
    return form;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == target && target->isEnabled()) {
            operations[OPERATION_REPLICATE]->setChecked(true);
            choose_operation(OPERATION_REPLICATE);
        } else if (watched == prd_path && !prd_path->text().isEmpty()) {
            make_default(open);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::make_default(QPushButton* button) {
    for (QPushButton* b : {open, run}) b->setDefault(b == button);
    default_button_ = button;
}

FormState MainWindow::form_state() const {
    FormState state;
    state.prd_path = prd_path->text().toStdString();
    state.names = document_.names;
    state.selected.assign(state.names.size(), false);
    for (int i = 0; i < products->count() && size_t(i) < state.selected.size(); ++i)
        state.selected[size_t(i)] = products->item(i)->isSelected();
    state.operation = OPERATION_REPLICATE;
    for (int i = 0; i < 4; ++i)
        if (operations[i]->isChecked()) state.operation = i;
    state.target = target->text().toStdString();
    state.media = 0;
    for (int m = 0; m < MEDIA_COUNT; ++m)
        if (media[m]->isChecked()) state.media = m;
    state.drives = drives_;
    state.drive = drive_list->currentIndex();
    state.options = options_;
    return state;
}

void MainWindow::set_products_enabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{products_label, products, operation_group,
                                                       select_all, deselect_all, more_options})
        w->setEnabled(on);
    if (!on) {
        media_group->setEnabled(false);
        for (QRadioButton* button : media) button->setEnabled(false);
    }
    apply_enabling();
}

void MainWindow::apply_enabling() {
    FormEnabling e = form_enabling(form_state());
    run->setEnabled(e.run);
    if (!operation_group->isEnabled()) return;
    media_group->setEnabled(e.media_group);
    drive_label->setEnabled(e.media_group);
    drive_list->setEnabled(e.media_group);
    for (int m = 0; m < MEDIA_COUNT; ++m) media[m]->setEnabled(e.media_group && e.media[m]);
}

void MainWindow::choose_operation(int operation) {
    run->setText(operation_caption(operation));
    apply_enabling();
}

void MainWindow::choose_media(int index) {
    int drive = drive_for_media(drives_, index);
    if (drive >= 0) drive_list->setCurrentIndex(drive);
    apply_enabling();
}

void MainWindow::choose_drive(int index) {
    if (index < 0 || size_t(index) >= drives_.size()) return;
    int chosen = form_state().media;
    media[media_for_drive(drives_[size_t(index)].kind, chosen)]->setChecked(true);
    apply_enabling();
}

void MainWindow::path_edited(const QString& text) {
    open->setEnabled(!text.isEmpty());
    if (!text.isEmpty()) make_default(open);
    products->clear();
    set_products_enabled(false);
}

void MainWindow::browse_for_file() {
    QString path = dialogs_->open_file();
    if (path.isEmpty()) return;
    prd_path->setText(path);
    path_edited(path);
    open->setFocus();
}

void MainWindow::open_from_menu() {
    QString path = dialogs_->open_file();
    if (path.isEmpty()) return;
    prd_path->setText(path);
    open_document(path);
}

void MainWindow::pick_folder() {
    if (drives_.empty()) return;
    DriveEntry& folder = drives_.back();
    QString chosen = dialogs_->choose_folder(QString::fromStdString(folder.text));
    if (chosen.isEmpty()) return;
    folder.text = chosen.toStdString();
    drive_list->setItemText(int(drives_.size()) - 1, chosen);
    QSettings().setValue("disk_folder", chosen);
}

bool MainWindow::open_document(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ProductDocument opened;
    ResultCode code = doc_open(&rc_, path.toStdString(), &opened);
    QApplication::restoreOverrideCursor();
    if (code != RC_OK) {
        std::string message = doc_open_message(code);
        if (!message.empty()) dialogs_->notice(QString::fromStdString(message), true);
        return false;
    }
    document_ = opened;
    remember_file(path);
    setWindowTitle(QFileInfo(path).fileName() + " - Diskward");
    prd_path->setText(path);
    products->clear();
    for (const std::string& label : document_.labels)
        products->addItem(QString::fromStdString(label));
    open->setEnabled(true);
    set_products_enabled(true);
    apply_enabling();
    make_default(run);
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

void MainWindow::update_recent_menu() {
    QStringList files = QSettings().value("recent_files").toStringList();
    for (int i = 0; i < RECENT_FILES; ++i) {
        bool shown = i < files.size();
        recent_actions[i]->setVisible(shown);
        if (!shown) continue;
        recent_actions[i]->setText(QString("&%1 %2").arg(i + 1).arg(files[i]));
        recent_actions[i]->setData(files[i]);
    }
}

void MainWindow::show_about() {
    QDialog about(this);
    about.setWindowTitle("About");
    QLabel* icon = new QLabel;
    icon->setPixmap(QPixmap(":/icons/diskward-64.png"));
    QLabel* text = new QLabel(QString(ABOUT_VERSION_TEXT) + "\n" + MAKER_NOTICE_TEXT);
    QDialogButtonBox* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    QGridLayout* grid = new QGridLayout(&about);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(text, 0, 1);
    grid->addWidget(ok, 1, 0, 1, 2);
    about.exec();
}

void MainWindow::publish(const std::string& line) {
    std::string text;
    for (char c : line)
        if (c != '\r') text += c;
    output->moveCursor(QTextCursor::End);
    output->insertPlainText(QString::fromLatin1(text.data(), qsizetype(text.size())));
    output->verticalScrollBar()->setValue(output->verticalScrollBar()->maximum());
    // The run holds the window's thread: the pane is painted at once.
    output->viewport()->repaint();
}

void MainWindow::set_status(const QString& text) {
    status_text->setText(text);
    status_text->repaint();
}

void MainWindow::show_progress(const RunContext* rc, uint32_t bytes, bool compressing) {
    const std::string& file = compressing ? rc->compressing : rc->disk_writing;
    uint64_t total = 0;
    if (compressing) {
        total = rc->compressing_size;
    } else if (!rc->layouts.empty()) {
        for (const LayoutDisk& disk : rc->layouts.back().disks) total += disk.bytes_used;
    }
    std::string key = (compressing ? "c:" : "w:") + (compressing ? file : rc->layouts.empty() ? "" : rc->layouts.back().product);
    if (key != progress_file_) {
        progress_file_ = key;
        progress_done_ = 0;
    }
    progress_done_ += bytes;
    int maximum = int(std::max<uint64_t>(total / 1024, 1));
    int value = int(std::min<uint64_t>(progress_done_ / 1024, uint64_t(maximum)));
    QString format = QString(compressing ? "Compressing %1" : "Writing %1")
                         .arg(QString::fromStdString(file));
    if (progress->isHidden() || progress->maximum() != maximum || progress->format() != format ||
        value != progress->value()) {
        progress->setMaximum(maximum);
        progress->setValue(value);
        progress->setFormat(format);
        progress->show();
        progress->repaint();
    }
}

bool MainWindow::build_and_run() {
    FormState state = form_state();
    EngineCommand command;
    std::string problem = form_build_command(state, &command);
    if (!problem.empty()) {
        dialogs_->notice(QString::fromStdString(problem), false);
        return false;
    }
    if (!command.drive_folder.empty()) (void)floppy_folder_make(command.drive_folder);
    bool succeeded = run_engine(command);
    if (state.operation == OPERATION_REPLICATE && succeeded) {
        operations[OPERATION_UPDATE]->setChecked(true);
        choose_operation(OPERATION_UPDATE);
        std::string host;
        if (host_path_resolve(rc_.target, &host) != RC_OK) host = rc_.target;
        QString copy = QString::fromStdString(host + "/" + command.product_file);
        prd_path->setText(copy);
        open_document(copy);
    }
    return succeeded;
}

bool MainWindow::run_engine(const EngineCommand& command) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    layout_view->clear();
    layout_view->hide();
    log_.pending += command.text;
    QString status = QString::fromStdString(command.text);
    if (!command.product_text.empty()) {
        log_.pending += " -n" + command.product_text + "\r\n\r\n";
        status += " -n " + QString::fromStdString(command.product_text);
    } else {
        log_.pending += "\r\n\r\n";
    }
    std::string opening;
    opening.swap(log_.pending);
    publish(opening);
    set_status(status + " ... ");

    bool succeeded = true;
    std::vector<ProductLayout> layouts;
    LayoutMedium medium;
    for (const std::vector<std::string>& call : form_engine_calls(command)) {
        std::vector<const char*> argv;
        for (const std::string& word : call) argv.push_back(word.c_str());
        if (engine_main(&rc_, int(argv.size()), argv.data()) != RC_OK) succeeded = false;
        layouts.insert(layouts.end(), rc_.layouts.begin(), rc_.layouts.end());
        medium = LayoutMedium{rc_.media_capacity, rc_.cluster_size, rc_.slop};
    }
    publish(std::string(69, '-') + "\r\n\r\n");
    progress->hide();
    progress_file_.clear();
    set_status(status + " ... Done.");
    if (!layouts.empty()) {
        layout_view->set_layouts(layouts, medium);
        layout_view->show();
    }
    QApplication::restoreOverrideCursor();
    return succeeded;
}
