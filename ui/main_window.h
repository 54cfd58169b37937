// The main window: the menus, the status bar with its progress bar, and the
// form that names the product file, picks the products, the operation, the
// media and the drive, runs the engine on a worker thread (the form held
// and Cancel offered meanwhile) and shows its report in the output pane,
// with the picture of the disk layouts and its legend below.
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
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSplitter;
class QToolButton;
class EngineWorker;
class LayoutLegend;
class LayoutView;
class WindowDialogs;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `drives` is the drive list, the folder of disk images last; `dialogs`
    // answers every question (the Qt dialogs when null).
    MainWindow(const std::vector<DriveEntry>& drives, WindowDialogs* dialogs = nullptr);
    // A run still going is cancelled and waited for.
    ~MainWindow() override;

    // Opens the product file as the document (again when it is open), as
    // Browse and Open do; false, with Open's message, when it could not be
    // read.
    bool open_document(const QString& path);
    // The form's state as its controls hold it.
    FormState form_state() const;
    // The default button: builds the command and starts its run. False
    // when nothing was started.
    bool build_and_run();
    // True while a run goes.
    bool running() const;

signals:
    // A run has ended; false when an engine call failed or it was cancelled.
    void run_finished(bool succeeded);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing during a run asks whether to cancel it; the window closes
    // once the cancelled run has stopped.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build_menus();
    QWidget* build_form();
    QGroupBox* build_staging_group();
    QGroupBox* build_operation_group();
    QGroupBox* build_media_group();
    QLayout* build_buttons();
    QGroupBox* build_output_group();
    void connect_rules();
    void build_status_bar();
    void set_products_enabled(bool on);
    void apply_enabling();
    void choose_operation(int operation);
    void choose_media(int index);
    void choose_drive(int index);
    void path_edited(const QString& text);
    void browse_for_file();
    void browse_for_image();
    void open_from_menu();
    void pick_folder();
    void make_default(QPushButton* button);
    void append_output(const QString& text);
    void show_progress(const QString& text, int value, int maximum);
    void answer_question(const QString& text, bool with_cancel);
    void hold_form(bool held);
    void start_run(const EngineCommand& command);
    void end_run();
    void show_layouts();
    void remember_file(const QString& path);
    void forget_file(const QString& path);
    void update_recent_menu();
    void show_about();

    RunContext run_context_;
    OutputLog log_;
    PromptUser prompt_user_;
    std::unique_ptr<WindowDialogs> own_dialogs_;
    WindowDialogs* dialogs_;
    std::vector<DriveEntry> drives_;
    ProductDocument document_;
    MoreOptions options_;
    QPushButton* default_button_ = nullptr;
    std::unique_ptr<EngineWorker> worker_;

    // The run going: its command, its status text, and what it asks of the
    // form once it has ended.
    EngineCommand command_;
    QString run_status_;
    int run_operation_ = OPERATION_REPLICATE;
    bool close_after_run_ = false;
    // The controls a run holds, with the enabling each had.
    std::vector<std::pair<QWidget*, bool>> held_;

    // The form's controls.
    QLineEdit* prd_path_;
    QPushButton* browse_;
    QPushButton* open_;
    QLabel* products_label_;
    QListWidget* products_;
    QPushButton* select_all_;
    QPushButton* deselect_all_;
    QGroupBox* staging_group_;
    QGroupBox* operation_group_;
    QButtonGroup* operation_buttons_;
    QRadioButton* operations_[OPERATION_COUNT];
    QLineEdit* target_;
    QLineEdit* image_;
    QPushButton* image_browse_;
    QGroupBox* media_group_;
    QButtonGroup* media_buttons_;
    QRadioButton* media_[MEDIA_COUNT];
    QLabel* drive_label_;
    QComboBox* drive_list_;
    QToolButton* drive_folder_;
    QPushButton* run_;
    QPushButton* more_options_;
    QPushButton* cancel_;
    QPushButton* exit_;
    QPlainTextEdit* output_;
    QPushButton* clear_;
    LayoutView* layout_view_;
    LayoutLegend* layout_legend_;
    QScrollArea* layout_area_;
    QSplitter* output_splitter_;
    QLabel* status_text_;
    QProgressBar* progress_;
    QAction* open_action_;
    QAction* copy_action_;
    QAction* recent_actions_[4];
};

// The drive list of this host: each floppy drive the probe finds, bound to
// "A:", "B:" and so on in the probe's order, then the folder of disk images.
std::vector<DriveEntry> window_drives(const std::string& sys_root, const std::string& dev_root,
                                      const std::string& folder);
