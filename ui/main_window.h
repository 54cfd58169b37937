// The main window: the menus, the status bar with its progress bar, and the
// form that names the product file, picks the products, the operation, the
// media and the drive, runs the engine on the window's thread and shows its
// report in the output pane, with the picture of the disk layouts below.
#pragma once

#include <QMainWindow>
#include <memory>
#include <vector>

#include "engine/run_context.h"
#include "ui/form_rules.h"
#include "ui/product_document.h"
#include "ui/window_prompt.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;
class LayoutView;
class WindowDialogs;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `drives` is the drive list, the folder of disk images last; `dialogs`
    // answers every question (the Qt dialogs when null).
    MainWindow(const std::vector<DriveEntry>& drives, WindowDialogs* dialogs = nullptr);
    ~MainWindow() override;

    // Opens the product file as the document (again when it is open); false
    // when it could not be read.
    bool open_document(const QString& path);
    // The form's state as its controls hold it.
    FormState form_state() const;
    // The default button: builds the command and runs it. False when nothing
    // was run or an engine call failed.
    bool build_and_run();
    // Told of the bytes copied while disks are written or files compressed.
    void show_progress(const RunContext* rc, uint32_t bytes, bool compressing);
    RunContext* run_context() { return &rc_; }

    // The form's controls, for the tests and the screenshot.
    QLineEdit* prd_path;
    QPushButton* browse;
    QPushButton* open;
    QLabel* products_label;
    QListWidget* products;
    QPushButton* select_all;
    QPushButton* deselect_all;
    QGroupBox* operation_group;
    QRadioButton* operations[4];
    QLineEdit* target;
    QGroupBox* media_group;
    QRadioButton* media[MEDIA_COUNT];
    QLabel* drive_label;
    QComboBox* drive_list;
    QToolButton* drive_folder;
    QPushButton* run;
    QPushButton* more_options;
    QPushButton* exit;
    QPlainTextEdit* output;
    QPushButton* clear;
    LayoutView* layout_view;
    QLabel* status_text;
    QProgressBar* progress;
    QAction* copy_action;
    QAction* recent_actions[4];

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_menus();
    QWidget* build_form();
    void set_products_enabled(bool on);
    void apply_enabling();
    void choose_operation(int operation);
    void choose_media(int index);
    void choose_drive(int index);
    void path_edited(const QString& text);
    void browse_for_file();
    void open_from_menu();
    void pick_folder();
    void make_default(QPushButton* button);
    void publish(const std::string& line);
    void set_status(const QString& text);
    bool run_engine(const EngineCommand& command);
    void remember_file(const QString& path);
    void update_recent_menu();
    void show_about();

    RunContext rc_;
    OutputLog log_;
    PromptUser prompt_user_;
    std::unique_ptr<WindowDialogs> own_dialogs_;
    WindowDialogs* dialogs_;
    std::vector<DriveEntry> drives_;
    ProductDocument document_;
    MoreOptions options_;
    QPushButton* default_button_ = nullptr;
    std::string progress_file_;
    uint64_t progress_done_ = 0;
};

// The drive list of this host: each floppy drive the probe finds, bound to
// "A:", "B:" and so on in the probe's order, then the folder of disk images.
std::vector<DriveEntry> window_drives(const std::string& sys_root, const std::string& dev_root,
                                      const std::string& folder);
