// The window with scripted dialogs, offscreen: the document, the More
// Options dialog, the disk prompt, the form's controls, whole runs on a
// copy of the sample kit compared with what the console prints, the run on
// its worker thread with Cancel and the disk prompt it asks, the product
// file named on the command line, and the layout picture.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "engine/engine_main.h"
#include "media/floppy_drives.h"
#include "support/test_support.h"
#include "sys/files.h"
#include "sys/host_paths.h"
#include "ui/layout_view.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/window_dialogs.h"
#include "ui/window_prompt.h"

namespace {

// Answers from a script and keeps every text it was shown, and whether
// each was shown on the window's thread.
class ScriptedDialogs : public WindowDialogs {
public:
    QStringList shown;
    bool off_thread = false;              // something was shown off the window's thread
    std::vector<bool> answers;            // for ask(), in order; Cancel when used up
    std::function<void()> before_answer;  // runs before each answer
    void notice(const QString& text, bool) override {
        note_thread();
        shown << "notice: " + text;
    }
    bool ask(const QString& text) override {
        note_thread();
        shown << "ask: " + text;
        if (before_answer) before_answer();
        if (answers.empty()) return false;
        bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    QString file_to_open;  // what File > Open... is given
    QString open_file() override { return file_to_open; }
    QString choose_folder(const QString&) override { return ""; }
    QString image_to_save;  // what Browse for the image is given
    QString save_image(const QString&) override { return image_to_save; }
    void note_thread() {
        if (QThread::currentThread() != qApp->thread()) off_thread = true;
    }
};

// The window's control named `name`; the test stops when there is none.
template <class Control>
Control* control(QObject* window, const char* name) {
    Control* found = window->findChild<Control*>(name);
    if (!found) qFatal("no control named %s", name);
    return found;
}

// How a run ended: RUN_NOT_ENDED when nothing was started or it did not
// end in time.
enum RunEnd { RUN_NOT_ENDED = -1, RUN_FAILED = 0, RUN_SUCCEEDED = 1 };

// Clicks the default button and waits for the run it starts to end.
RunEnd run_and_wait(MainWindow* window, int timeout_ms = 60000) {
    QSignalSpy ended(window, &MainWindow::run_finished);
    control<QPushButton>(window, "run")->click();
    if (!window->running() || !ended.wait(timeout_ms)) return RUN_NOT_ENDED;
    return ended.first().first().toBool() ? RUN_SUCCEEDED : RUN_FAILED;
}

const char* const OPERATION_NAMES[] = {"operation_replicate", "operation_update",
                                       "operation_assign", "operation_cut", "operation_image"};

std::string run_shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// What the console prints for `arguments`, with its CR LF as the pane's line feeds.
std::string console(const std::string& arguments) {
    std::string out = run_shell(std::string(DISKWARD_BIN_DIR) + "/diskward " + arguments +
                                " </dev/null 2>/dev/null");
    std::string text;
    for (char c : out)
        if (c != '\r') text += c;
    return text;
}

std::string shell_quoted(const std::string& path) {
    return "'" + path + "'";
}

const std::string HYPHENS = std::string(69, '-') + "\n\n";

// Bytes enough for a compression of a second or so.
constexpr size_t BIG_BYTES = 32000000;

// A kit of one product, big, whose one file of `bytes` that do not
// compress is stored compressed: its compression takes a while.
void big_kit(const std::string& kit, size_t bytes, const std::string& name = "big.dat") {
    std::filesystem::remove_all(kit);
    write_host_file(kit + "/win95.prd",
                    "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false "
                    "false false \"\" \"\"\n"
                    "1 big root \"big\" \"1.0\" \"Big\" \"big\" 0 true false false \"\" \"BIG\"\n");
    write_host_file(kit + "/big/" + name, demo_noise(bytes, 5));
    write_host_file(kit + "/big/big.vrf", "");
    write_host_file(
        kit + "/big/big.map",
        "#Name Subgroup Source Destination Size Instantiate? Append? Compress? StartDisk "
        "TotalDisks Icon Group Item Command\n\n"
        "G \"\" \"" +
            name + "\" \"%TARGET%\\" + name + "\" " + std::to_string(bytes) +
            " false false true 0 0 0 \"\" \"\" \"\"\n");
}

// Every file under `folder` with its bytes.
std::map<std::string, std::string> files_in(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().string().substr(folder.size())] =
                read_host_file(entry.path().string());
    return files;
}

// Shows `window` with the kit `kit` open, every product selected and
// Assign chosen; false when the kit does not open.
bool assign_every_product(MainWindow* window, const std::string& kit) {
    window->show();
    if (!window->open_document(QString::fromStdString(kit + "/win95.prd"))) return false;
    control<QPushButton>(window, "select_all")->click();
    control<QRadioButton>(window, "operation_assign")->click();
    return true;
}

// Counts the turns of the window's event loop, and what the form showed at each.
struct Ticks {
    QTimer timer;
    int count = 0;
    int held = 0;         // turns with the default button disabled and Cancel enabled
    int progress = 0;     // turns with the progress bar shown
    int overflowing = 0;  // turns with a progress text wider than its bar
    explicit Ticks(MainWindow* window) {
        QObject::connect(&timer, &QTimer::timeout, [this, window] {
            ++count;
            if (!control<QPushButton>(window, "run")->isEnabled() &&
                control<QPushButton>(window, "cancel")->isEnabled())
                ++held;
            auto* bar = control<QProgressBar>(window, "progress");
            if (!bar->isVisible()) return;
            ++progress;
            if (bar->fontMetrics().horizontalAdvance(bar->text()) > bar->width()) ++overflowing;
        });
        // The turns counted are those of the run.
        QObject::connect(window, &MainWindow::run_finished, &timer, &QTimer::stop);
        timer.start(10);
    }
};

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
    TempDir config;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
        Q_INIT_RESOURCE(icons);
        // Byte counts are written with the locale's digit grouping.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        floppy_drives_start(config.at("no-dev"));
    }

    void document_sorts_by_label_and_names_its_failures() {
        TempDir dir;
        RunContext run;
        OutputLog log;
        engine_attach(&run, &log);
        write_host_file(dir.at("WIN95.PRD"),
                        "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false "
                        "false false \"\" \"\"\n"
                        "1 b root \"b\" \"1.0\" \"beta\" \"b\" 0 true false false \"\" \"V\"\n"
                        "2 a1 root \"a1\" \"1.0\" \"Alpha\" \"a\" 0 true false false \"\" \"V\"\n"
                        "3 a2 root \"a2\" \"1.0\" \"alpha\" \"a\" 0 true false false \"\" \"V\"\n");
        ProductDocument doc;
        QCOMPARE(doc_open(&run, dir.at("WIN95.PRD"), &doc), ResultCode(RC_OK));
        QCOMPARE(doc.labels, (std::vector<std::string>{"Alpha", "alpha", "beta"}));
        QCOMPARE(doc.names, (std::vector<std::string>{"a1", "a2", "b"}));
        write_host_file(dir.at("bad.prd"), "1 b root \"b\"\n");
        write_host_file(dir.at("empty.prd"), "");
        QCOMPARE(doc_open(&run, dir.at("missing.prd"), &doc), ResultCode(RC_UNABLE_TO_READ));
        QCOMPARE(doc_open(&run, dir.at("bad.prd"), &doc), ResultCode(RC_UNABLE_TO_PARSE));
        QCOMPARE(doc_open(&run, dir.at("empty.prd"), &doc), ResultCode(RC_EMPTY));
        QCOMPARE(doc.names.size(), size_t(3));  // a failed open keeps the document

        ScriptedDialogs dialogs;
        MainWindow window({}, &dialogs);
        for (const char* name : {"missing.prd", "bad.prd", "empty.prd"})
            QVERIFY(!window.open_document(QString::fromStdString(dir.at(name))));
        QCOMPARE(dialogs.shown,
                 (QStringList{"notice: Error Reading PRD File", "notice: Parse Error in PRD File",
                              "notice: Empty PRD File"}));
        QCOMPARE(control<QListWidget>(&window, "products")->count(), 0);
        QVERIFY(!control<QListWidget>(&window, "products")->isEnabled());
        engine_detach(&run);
    }

    // A failed open, from the recent list or from File > Open..., leaves the
    // form as it was, the path included; an entry that no longer opens
    // leaves the recent list.
    void a_failed_open_leaves_the_form_as_it_was() {
        TempDir dir;
        auto table = [](const std::string& label) {
            return "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false "
                   "false "
                   "false \"\" \"\"\n1 p root \"p\" \"1.0\" \"" +
                   label + "\" \"p\" 0 true false false \"\" \"V\"\n";
        };
        write_host_file(dir.at("a/win95.prd"), table("Kit A"));
        write_host_file(dir.at("b/win95.prd"), table("Kit B"));
        QString a = QString::fromStdString(dir.at("a/win95.prd"));
        QString b = QString::fromStdString(dir.at("b/win95.prd"));
        ScriptedDialogs dialogs;
        MainWindow window({}, &dialogs);
        QVERIFY(window.open_document(b));
        QVERIFY(window.open_document(a));  // the recent list: a, then b
        auto* recent_b = window.findChild<QAction*>("recent_1");
        QVERIFY(recent_b && recent_b->isVisible());
        QCOMPARE(recent_b->data().toString(), b);
        auto form_is_a = [&] {
            QCOMPARE(control<QLineEdit>(&window, "prd_path")->text(), a);
            auto* products = control<QListWidget>(&window, "products");
            QCOMPARE(products->count(), 1);
            QCOMPARE(products->item(0)->text(), QString("Kit A"));
            QVERIFY(products->isEnabled());
        };

        std::filesystem::remove(dir.at("b/win95.prd"));
        recent_b->trigger();
        QCOMPARE(dialogs.shown, QStringList{"notice: Error Reading PRD File"});
        form_is_a();
        QCOMPARE(window.findChild<QAction*>("recent_0")->data().toString(), a);
        QVERIFY(!recent_b->isVisible());

        write_host_file(dir.at("bad.prd"), "1 b root \"b\"\n");
        dialogs.file_to_open = QString::fromStdString(dir.at("bad.prd"));
        window.findChild<QAction*>("open_action")->trigger();
        QCOMPARE(dialogs.shown, (QStringList{"notice: Error Reading PRD File",
                                             "notice: Parse Error in PRD File"}));
        form_is_a();
    }

    // Enter presses the default button from the product list and the option
    // buttons, as in a dialog.
    void enter_presses_the_default_button_from_anywhere_in_the_form() {
        TempDir dir;
        write_host_file(
            dir.at("kit/win95.prd"),
            "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false "
            "false \"\" \"\"\n1 p root \"p\" \"1.0\" \"P\" \"p\" 0 true false false \"\" \"V\"\n");
        write_host_file(dir.at("kit/p/p.map"), "");
        ScriptedDialogs dialogs;
        MainWindow window({}, &dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(window.open_document(QString::fromStdString(dir.at("kit/win95.prd"))));
        auto* products = control<QListWidget>(&window, "products");
        products->item(0)->setSelected(true);
        auto* update = control<QRadioButton>(&window, "operation_update");
        update->click();
        for (QWidget* focus : std::initializer_list<QWidget*>{products, update}) {
            QSignalSpy ended(&window, &MainWindow::run_finished);
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_Return);
            QVERIFY(window.running() || ended.count() == 1);
            QVERIFY(ended.count() == 1 || ended.wait(60000));
        }
        QCOMPARE(dialogs.shown, QStringList{});
    }

    void options_dialog_checks_its_sizes() {
        ScriptedDialogs dialogs;
        MoreOptions options;
        options.floppy_operation = true;
        OptionsDialog dialog(nullptr, options, &dialogs);
        QVERIFY(!control<QCheckBox>(&dialog, "suppress_subdirectory")->isEnabled());
        QVERIFY(control<QLineEdit>(&dialog, "slop")->isEnabled());
        dialog.show();
        control<QLineEdit>(&dialog, "slop")->setText("10001");
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), control<QWidget>(&dialog, "slop"));
        control<QLineEdit>(&dialog, "slop")->setText("30");
        control<QLineEdit>(&dialog, "min_split")->setText("abc");
        dialog.accept();
        QCOMPARE(dialog.focusWidget(), control<QWidget>(&dialog, "min_split"));
        QCOMPARE(dialogs.shown, (QStringList{"notice: Please enter an integer between 0 and 10000.",
                                             "notice: Please enter a positive integer."}));
        control<QLineEdit>(&dialog, "min_split")->setText("100");
        control<QCheckBox>(&dialog, "backup")->setChecked(false);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(form_options_text(dialog.options()), std::string(" -f -x 100 -s 30"));

        options.floppy_operation = false;
        OptionsDialog update(nullptr, options, &dialogs);
        QVERIFY(control<QCheckBox>(&update, "suppress_subdirectory")->isEnabled());
        QVERIFY(!control<QLineEdit>(&update, "slop")->isEnabled() &&
                !control<QCheckBox>(&update, "auto_compress")->isEnabled());
    }

    void prompt_asks_checks_and_cancels() {
        TempDir dir;
        std::string image = dir.at("one.img");
        std::string root = host_path_to_engine(image);
        QCOMPARE(
            floppy_drive_bind(root, FLOPPY_IMAGE, image) == RC_OK ||
                (write_host_file(image, ""), floppy_drive_bind(root, FLOPPY_IMAGE, image)) == RC_OK,
            true);
        RunContext run;  // 3.5HD
        ScriptedDialogs dialogs;
        PromptUser user{&dialogs, nullptr};
        run.front_end.disk_prompt_user = &user;
        // OK with an unreadable disk, then OK once a 3.5" LD blank is in,
        // then OK once a 3.5" HD blank is in: accepted.
        int asked = 0;
        dialogs.answers = {true, true, true};
        dialogs.before_answer = [&] {
            ++asked;
            if (asked == 2) floppy_drive_insert_blank(root, "3.5LD");
            if (asked == 3) floppy_drive_insert_blank(root, "3.5HD");
        };
        std::string drive = root;
        bool cancelled = false;
        window_disk_prompt(&run, &drive, "Core Files", 2, "Windows 32", &cancelled, false);
        QVERIFY(!cancelled);
        QString question = QString::fromStdString(
            "ask: Insert disk to be labeled 'Core Files 2' into drive '" + root + "'");
        QCOMPARE(
            dialogs.shown,
            (QStringList{question,
                         QString::fromStdString(
                             "notice: There is a problem reading from the disk in '" + root + "'."),
                         question,
                         QString::fromStdString("notice: The disk in '" + root +
                                                "' has the wrong sector size."),
                         question}));
        dialogs.shown.clear();
        window_disk_prompt(&run, &drive, "Core Files", 2, "Windows 32", &cancelled, false);
        QVERIFY(cancelled);
        QCOMPARE(dialogs.shown, QStringList{question});
        floppy_drive_unbind(root);
    }

    void controls_follow_the_rules() {
        TempDir dir;
        sample_kit_copy(dir.at("kit"));
        ScriptedDialogs dialogs;
        MainWindow window({{"A:", 4}, {"B:", 1}, {dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        // Start-up: 3.5" HD with A:, Replicate, nothing about products enabled.
        QVERIFY(control<QRadioButton>(&window, "media_0")->isChecked());
        QCOMPARE(control<QComboBox>(&window, "drive_list")->currentIndex(), 0);
        QVERIFY(control<QRadioButton>(&window, OPERATION_NAMES[OPERATION_REPLICATE])->isChecked());
        QVERIFY(!control<QGroupBox>(&window, "operation_group")->isEnabled() &&
                !control<QPushButton>(&window, "open")->isEnabled() &&
                !control<QPushButton>(&window, "run")->isEnabled());
        QVERIFY(window.open_document(QString::fromStdString(dir.at("kit/win95.prd"))));
        QStringList labels;
        for (int i = 0; i < control<QListWidget>(&window, "products")->count(); ++i)
            labels << control<QListWidget>(&window, "products")->item(i)->text();
        QCOMPARE(labels, (QStringList{"Core Files", "Documentation", "Installer", "Tools"}));
        QVERIFY(!control<QPushButton>(&window, "run")->isEnabled());
        control<QPushButton>(&window, "select_all")->click();
        QVERIFY(!control<QPushButton>(&window, "run")->isEnabled());  // no target yet
        control<QLineEdit>(&window, "target")->setText("/t");
        QVERIFY(control<QPushButton>(&window, "run")->isEnabled());
        QVERIFY(!control<QGroupBox>(&window, "media_group")->isEnabled());
        control<QRadioButton>(&window, OPERATION_NAMES[OPERATION_CUT])->click();
        QCOMPARE(control<QPushButton>(&window, "run")->text(), QString("&Cut"));
        QVERIFY(control<QGroupBox>(&window, "media_group")->isEnabled());
        control<QRadioButton>(&window, "media_5")->click();  // 5.25" Japan: B:
        QCOMPARE(control<QComboBox>(&window, "drive_list")->currentIndex(), 1);
        QTest::keyClick(control<QComboBox>(&window, "drive_list"),
                        Qt::Key_Up);  // A: moves the media to 3.5" Japan
        QCOMPARE(control<QComboBox>(&window, "drive_list")->currentIndex(), 0);
        QVERIFY(control<QRadioButton>(&window, "media_4")->isChecked());
        control<QPushButton>(&window, "deselect_all")->click();
        QVERIFY(!control<QPushButton>(&window, "run")->isEnabled());
        QTest::keyClicks(control<QLineEdit>(&window, "prd_path"),
                         "x");  // editing the path closes the products
        QCOMPARE(control<QListWidget>(&window, "products")->count(), 0);
        QVERIFY(!control<QGroupBox>(&window, "operation_group")->isEnabled());
        QVERIFY(control<QPushButton>(&window, "open")->isEnabled());
    }

    // Runs the window's operation on a fresh kit, then the console's
    // commands on another fresh kit at the same place; the pane's report
    // must be the console's.
    void runs_show_the_consoles_report() {
        TempDir dir;
        std::string kit = dir.at("kit");
        std::string disks = dir.at("disks");
        std::string copy = dir.at("copy");
        std::string iso = dir.at("kit.iso");
        struct Case {
            int operation;
            QStringList products;  // "" for all
            std::vector<std::string> console_runs;
            std::string header;
        };
        std::string k = shell_quoted(kit);
        std::vector<Case> cases = {
            {OPERATION_UPDATE, {}, {k + " -o win95"}, "diskward " + kit + " -o win95\n\n"},
            {OPERATION_UPDATE,
             {"Tools"},
             {k + " -o win95 -n tools"},
             "diskward " + kit + " -o win95 -n tools\n\n"},
            {OPERATION_ASSIGN,
             {"Core Files", "Tools"},
             {k + " -o win95 -a -n core", k + " -o win95 -a -n tools"},
             "diskward " + kit + " -o win95 -a -n core tools\n\n"},
            {OPERATION_CUT,
             {"Core Files"},
             {k + " -o win95 -w -d " + shell_quoted(disks) + " -n core"},
             "diskward " + kit + " -o win95 -w -d " + disks + " -n core\n\n"},
            {OPERATION_REPLICATE,
             {},
             {k + " -o win95 -j " + shell_quoted(copy)},
             "diskward " + kit + " -o win95 -j " + copy + "\n\n"},
            {OPERATION_IMAGE,
             {"Tools"},
             {k + " -o win95 -n tools --iso " + shell_quoted(iso)},
             "diskward " + kit + " -o win95 --iso " + iso + " -n tools\n\n"},
        };
        for (const Case& c : cases) {
            sample_kit_copy(kit);
            std::filesystem::remove_all(disks);
            std::filesystem::remove_all(copy);
            std::filesystem::remove(iso);
            ScriptedDialogs dialogs;
            MainWindow window({{disks, DRIVE_KIND_FOLDER}}, &dialogs);
            QVERIFY(window.open_document(QString::fromStdString(kit + "/win95.prd")));
            QListWidget* products = control<QListWidget>(&window, "products");
            for (int i = 0; i < products->count(); ++i)
                products->item(i)->setSelected(c.products.isEmpty() ||
                                               c.products.contains(products->item(i)->text()));
            control<QRadioButton>(&window, OPERATION_NAMES[c.operation])->click();
            if (c.operation == OPERATION_REPLICATE)
                control<QLineEdit>(&window, "target")->setText(QString::fromStdString(copy));
            if (c.operation == OPERATION_IMAGE) {
                dialogs.image_to_save = QString::fromStdString(iso);
                control<QPushButton>(&window, "image_browse")->click();
                QCOMPARE(control<QLineEdit>(&window, "image")->text().toStdString(), iso);
            }
            QVERIFY(control<QPushButton>(&window, "run")->isEnabled());
            QVERIFY(run_and_wait(&window) != RUN_NOT_ENDED);
            std::string pane =
                control<QPlainTextEdit>(&window, "output")->toPlainText().toStdString();
            QVERIFY(dialogs.shown.isEmpty());
            bool floppy = c.operation == OPERATION_ASSIGN || c.operation == OPERATION_CUT;
            QVERIFY2(control<LayoutView>(&window, "layout_view")->empty() == !floppy, pane.c_str());

            if (c.operation == OPERATION_CUT) {
                std::string image = shell_quoted(disks + "/CORE.KIT1_1.img");
                QCOMPARE(run_shell("fsck.fat -n " + image + " >/dev/null 2>&1; echo $?"),
                         std::string("0\n"));
                QVERIFY(!run_shell("MTOOLS_SKIP_CHECK=1 mdir -b -i " + image + " ::").empty());
            }
            // The window's image holds what the console's does.
            std::string window_listing;
            if (c.operation == OPERATION_IMAGE) {
                window_listing =
                    run_shell("xorriso -indev " + shell_quoted(iso) + " -find 2>/dev/null");
                QVERIFY(window_listing.find("'./apps/tools/tools.cab'") != std::string::npos);
                std::filesystem::remove(iso);
            }
            // The console on the same kit, as it was.
            std::filesystem::remove_all(disks);
            sample_kit_copy(kit);
            std::filesystem::remove_all(copy);
            std::string report;
            for (const std::string& arguments : c.console_runs) report += console(arguments);
            QCOMPARE(pane, c.header + report + HYPHENS);
            if (c.operation == OPERATION_IMAGE)
                QCOMPARE(run_shell("xorriso -indev " + shell_quoted(iso) + " -find 2>/dev/null"),
                         window_listing);
            if (c.operation == OPERATION_REPLICATE) {
                QVERIFY(
                    control<QRadioButton>(&window, OPERATION_NAMES[OPERATION_UPDATE])->isChecked());
                QCOMPARE(control<QLineEdit>(&window, "prd_path")->text().toStdString(),
                         copy + "/win95.prd");
                QCOMPARE(control<QListWidget>(&window, "products")->count(), 4);
            }
        }
    }

    // A run of a kit that takes a while goes on the worker thread: the
    // window's loop keeps turning, the form is held and Cancel offered, the
    // progress shown; the report is the console's.
    void a_run_leaves_the_window_alive() {
        const std::string LONG_NAME = "a file whose name is far too long for a status bar.dat";
        TempDir dir;
        std::string kit = dir.at("kit");
        big_kit(kit, BIG_BYTES, LONG_NAME);
        ScriptedDialogs dialogs;
        MainWindow window({{dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        QVERIFY(assign_every_product(&window, kit));
        Ticks ticks(&window);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run_and_wait(&window), RUN_SUCCEEDED);
        // The loop turned all through the run: at least half as often as the
        // 10 ms timer asked, however fast the machine made the run.
        qint64 asked = clock.elapsed() / 10;
        QVERIFY2(asked >= 4 && ticks.count >= asked / 2,
                 QByteArray::number(ticks.count) + " of " + QByteArray::number(asked));
        QCOMPARE(ticks.held, ticks.count);
        QVERIFY(ticks.progress > 0);
        // The progress names a long file on one line of the bar's width.
        QCOMPARE(ticks.overflowing, 0);
        QVERIFY(control<QPushButton>(&window, "run")->isEnabled());
        QVERIFY(!control<QPushButton>(&window, "cancel")->isEnabled());
        QVERIFY(control<QGroupBox>(&window, "operation_group")->isEnabled());
        QVERIFY(!control<QProgressBar>(&window, "progress")->isVisible());
        QVERIFY(dialogs.shown.isEmpty());
        std::string pane = control<QPlainTextEdit>(&window, "output")->toPlainText().toStdString();
        big_kit(kit, BIG_BYTES, LONG_NAME);
        QCOMPARE(pane, "diskward " + kit + " -o win95 -a -n big\n\n" +
                           console(shell_quoted(kit) + " -o win95 -a -n big") + HYPHENS);
    }

    // Cancel in the middle of the compression: the run ends as a cancelled
    // prompt ends it, and the kit holds what it held before.
    void cancel_stops_the_run_and_leaves_nothing_half_made() {
        TempDir dir;
        std::string kit = dir.at("kit");
        big_kit(kit, BIG_BYTES);
        std::map<std::string, std::string> before = files_in(kit);
        ScriptedDialogs dialogs;
        MainWindow window({{dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        QVERIFY(assign_every_product(&window, kit));
        QSignalSpy ended(&window, &MainWindow::run_finished);
        control<QPushButton>(&window, "run")->click();
        QTRY_VERIFY_WITH_TIMEOUT(control<QProgressBar>(&window, "progress")->isVisible(), 30000);
        control<QPushButton>(&window, "cancel")->click();
        QVERIFY(ended.wait(30000));
        QCOMPARE(ended.first().first().toBool(), false);
        std::string root = host_path_to_engine(kit);
        QCOMPARE(control<QPlainTextEdit>(&window, "output")->toPlainText().toStdString(),
                 "diskward " + kit + " -o win95 -a -n big\n\n" + root + "\n  " + root +
                     "\\win95.prd\n    " + root + "\\big\\big.map\n      big.map Superfluous\n" +
                     "      big.vrf Superfluous\n      big.dat Compressing...\n    " + root +
                     "\\big\\big.map: " + std::to_string(BIG_BYTES) + "\n    " + root +
                     "\\big\\big.map: User Cancelled\n" + HYPHENS);
        QCOMPARE(files_in(kit), before);
        QVERIFY(control<QPushButton>(&window, "run")->isEnabled());
        QVERIFY(!control<QPushButton>(&window, "cancel")->isEnabled());
        QVERIFY(control<LayoutView>(&window, "layout_view")->empty());
    }

    // Closing the window during a run asks first; Cancel there keeps the
    // run and the window, OK cancels the run and closes once it stopped.
    void closing_during_a_run_asks_to_cancel_it() {
        TempDir dir;
        std::string kit = dir.at("kit");
        big_kit(kit, BIG_BYTES);
        ScriptedDialogs dialogs;
        MainWindow window({{dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        QVERIFY(assign_every_product(&window, kit));
        QSignalSpy ended(&window, &MainWindow::run_finished);
        control<QPushButton>(&window, "run")->click();
        dialogs.answers = {false, true};
        QVERIFY(!window.close());
        QVERIFY(window.isVisible() && window.running());
        QVERIFY(!window.close());
        QVERIFY(ended.wait(30000));
        QCOMPARE(ended.first().first().toBool(), false);
        QTRY_VERIFY(!window.isVisible());
        QString question = "ask: A run is going. Cancel it and close the window?";
        QCOMPARE(dialogs.shown, (QStringList{question, question}));
    }

    // Cut onto a drive that holds no disk: the worker's prompt is asked on
    // the window's thread, whose loop keeps turning while the question is
    // open; the disk put in is written.
    void the_workers_disk_prompt_is_asked_on_the_window() {
        TempDir dir;
        std::string kit = dir.at("kit");
        sample_kit_copy(kit);
        std::string image = dir.at("drive.img");
        write_host_file(image, "");
        QCOMPARE(floppy_drive_bind("A:\\", FLOPPY_IMAGE, image), ResultCode(RC_OK));
        ScriptedDialogs dialogs;
        MainWindow window({{"A:", 4}}, &dialogs);
        QVERIFY(window.open_document(QString::fromStdString(kit + "/win95.prd")));
        QListWidget* products = control<QListWidget>(&window, "products");
        for (int i = 0; i < products->count(); ++i)
            products->item(i)->setSelected(products->item(i)->text() == "Core Files");
        control<QRadioButton>(&window, "operation_cut")->click();
        control<QRadioButton>(&window, "media_0")->click();
        int turns = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++turns; });
        timer.start(10);
        dialogs.answers = {true};
        dialogs.before_answer = [&] {
            int before = turns;
            QTest::qWait(200);
            QVERIFY(turns > before + 5);
            floppy_drive_insert_blank("A:\\", "3.5HD");
        };
        QCOMPARE(run_and_wait(&window), RUN_SUCCEEDED);
        QCOMPARE(dialogs.shown,
                 QStringList{"ask: Insert disk to be labeled 'Core Files 1' into drive 'A:'"});
        QVERIFY(!dialogs.off_thread);
        QCOMPARE(run_shell("fsck.fat -n '" + image + "' >/dev/null 2>&1; echo $?"),
                 std::string("0\n"));
        QCOMPARE(run_shell("MTOOLS_SKIP_CHECK=1 mlabel -s -i '" + image + "' ::"),
                 std::string(" Volume label is KIT1 1     \n"));
        floppy_drive_unbind("A:\\");
    }

    // The layout of every product of the sample kit on 5.25" LD: every
    // disk of every product in the scrolled picture, the legend, a piece's
    // tip and each disk's free space.
    void the_layout_picture_explains_itself() {
        TempDir dir;
        std::string kit = dir.at("kit");
        sample_kit_copy(kit);
        ScriptedDialogs dialogs;
        MainWindow window({{dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        QVERIFY(assign_every_product(&window, kit));
        control<QRadioButton>(&window, "media_3")->click();
        // More Options: compress what is larger than the threshold.
        QTimer::singleShot(0, [] {
            QDialog* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(options);
            control<QCheckBox>(options, "auto_compress")->setChecked(true);
            options->accept();
        });
        control<QPushButton>(&window, "more_options")->click();
        QCOMPARE(run_and_wait(&window), RUN_SUCCEEDED);
        LayoutView* view = control<LayoutView>(&window, "layout_view");
        QVERIFY(view->isVisible());
        QStringList tips, labels;
        int bottom = 0;
        for (const LayoutSegment& segment : view->segments()) {
            bottom = std::max(bottom, segment.rect.bottom());
            if (segment.kind == SEGMENT_FREE) labels << segment.label;
            if (segment.tip.startsWith("Source: tools.cab")) {
                tips << segment.tip;
                // Hovering shows the same tip.
                QHelpEvent hover(QEvent::ToolTip, segment.rect.center(),
                                 view->mapToGlobal(segment.rect.center()));
                QApplication::sendEvent(view, &hover);
                QCOMPARE(QToolTip::text(), segment.tip);
            }
        }
        // The split file over three disks, as the console's layout tells it.
        QCOMPARE(tips,
                 (QStringList{
                     "Source: tools.cab\nOn the disk: _1ools.cab\nPiece 1 of 3\n346,112 bytes",
                     "Source: tools.cab\nOn the disk: _2ools.cab\nPiece 2 of 3\n362,496 bytes",
                     "Source: tools.cab\nOn the disk: _0ools.cab\nPiece 3 of 3\n90,664 bytes"}));
        // Core Files, Documentation and Installer on a disk each, Tools on three.
        QCOMPARE(labels,
                 (QStringList{"318,464 bytes free", "344,064 bytes free", "325,632 bytes free",
                              "0 bytes free", "0 bytes free", "267,264 bytes free"}));
        // Every disk is in the picture, which the area scrolls.
        QVERIFY(bottom < view->height());
        QScrollArea* area = control<QScrollArea>(&window, "layout_area");
        QVERIFY(view->height() > area->viewport()->height());
        QCOMPARE(control<QLabel>(&window, "legend_file")->text(),
                 QString("A file, one colour each; the pieces of a split file share theirs, "
                         "joined by a dashed line"));
        QCOMPARE(control<QLabel>(&window, "legend_free")->text(), QString("Free space"));
        QCOMPARE(control<QLabel>(&window, "legend_slop")->text(), QString("Slop kept free"));
        QVERIFY(control<QWidget>(&window, "layout_legend")->isVisible());
    }

    // Update with "Add Superfluous Files to the MAP File" ticked in More
    // Options runs as the console's --harvest: the command line shows it,
    // the report is the console's, and the kit ends as the console leaves
    // it. Assign leaves the box disabled and the option out.
    void harvest_box_runs_update_as_the_consoles_harvest() {
        TempDir dir;
        std::string kit = dir.at("kit");
        sample_kit_copy(kit);
        ScriptedDialogs dialogs;
        MainWindow window({{dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        window.show();
        QVERIFY(window.open_document(QString::fromStdString(kit + "/win95.prd")));
        control<QPushButton>(&window, "select_all")->click();
        control<QRadioButton>(&window, OPERATION_NAMES[OPERATION_ASSIGN])->click();
        bool enabled_for_assign = true;
        QTimer::singleShot(0, [&] {
            QDialog* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(options);
            enabled_for_assign = control<QCheckBox>(options, "harvest")->isEnabled();
            options->reject();
        });
        control<QPushButton>(&window, "more_options")->click();
        QVERIFY(!enabled_for_assign);
        control<QRadioButton>(&window, OPERATION_NAMES[OPERATION_UPDATE])->click();
        QTimer::singleShot(0, [] {
            QDialog* options = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(options);
            control<QCheckBox>(options, "harvest")->setChecked(true);
            options->accept();
        });
        control<QPushButton>(&window, "more_options")->click();
        QCOMPARE(run_and_wait(&window), RUN_SUCCEEDED);
        std::string pane = control<QPlainTextEdit>(&window, "output")->toPlainText().toStdString();
        std::map<std::string, std::string> harvested = files_in(kit);

        sample_kit_copy(kit);
        std::string report = console(shell_quoted(kit) + " -o win95 --harvest");
        QCOMPARE(pane, "diskward " + kit + " -o win95 --harvest\n\n" + report + HYPHENS);
        QCOMPARE(harvested, files_in(kit));
    }

    // The window program opens the product file named on its command line
    // (here by a relative path), as Browse and Open would, and assigns it
    // for its picture.
    void the_program_opens_the_file_it_is_given() {
        TempDir dir;
        sample_kit_copy(dir.at("kit"));
        std::string command = "cd " + shell_quoted(dir.path()) +
                              " && XDG_CONFIG_HOME=" + shell_quoted(dir.at("config")) +
                              " QT_QPA_PLATFORM=offscreen " + DISKWARD_BIN_DIR +
                              "/diskward-gui --screenshot shot.png kit/win95.prd "
                              ">/dev/null 2>&1; echo $?";
        QCOMPARE(run_shell(command), std::string("0\n"));
        QImage shot(QString::fromStdString(dir.at("shot.png")));
        QVERIFY(shot.width() >= 900 && shot.height() >= 700);
        QStringList recent =
            QSettings(QString::fromStdString(dir.at("config/Diskward/Diskward.conf")),
                      QSettings::IniFormat)
                .value("recent_files")
                .toStringList();
        QCOMPARE(recent, QStringList{QString::fromStdString(dir.at("kit/win95.prd"))});
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
