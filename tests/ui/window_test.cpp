// The window with scripted dialogs, offscreen: the document, the More
// Options dialog, the disk prompt, the form's controls, and whole runs on a
// copy of the sample kit compared with what the console prints.
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QCheckBox>
#include <QGroupBox>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "engine/engine_main.h"
#include "media/floppy_drives.h"
#include "support/test_support.h"
#include "sys/host_paths.h"
#include "ui/layout_view.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/window_dialogs.h"
#include "ui/window_prompt.h"

namespace {

// Answers from a script and keeps every text it was shown.
class ScriptedDialogs : public WindowDialogs {
public:
    QStringList shown;
    std::vector<bool> answers;          // for ask(), in order; Cancel when used up
    std::function<void()> before_answer;  // runs before each answer
    void notice(const QString& text, bool) override { shown << "notice: " + text; }
    bool ask(const QString& text) override {
        shown << "ask: " + text;
        if (before_answer) before_answer();
        if (answers.empty()) return false;
        bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    QString open_file() override { return ""; }
    QString choose_folder(const QString&) override { return ""; }
};

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
    std::string out = run_shell(std::string(DISKWARD_BIN_DIR) + "/diskward " + arguments + " </dev/null 2>/dev/null");
    std::string text;
    for (char c : out)
        if (c != '\r') text += c;
    return text;
}

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

// Bytes that do not compress, and text that does.
std::string noise(size_t n, unsigned seed) {
    std::string bytes;
    for (unsigned x = seed; bytes.size() < n;) {
        x = (x * 75 + 74) % 65537;
        bytes += char(x % 256);
    }
    return bytes;
}
std::string lines(size_t n, const std::string& word) {
    std::string text;
    for (int i = 1; text.size() < n; ++i) text += word + " " + std::to_string(i) + " of the kit\n";
    return text.substr(0, n);
}

// A fresh copy of the sample kit at `to`, with the larger files the
// repository leaves out made as the demo makes them.
void copy_kit(const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(std::string(DISKWARD_SOURCE_DIR) + "/examples/kit", to,
                          std::filesystem::copy_options::recursive);
    write_host_file(to + "/install/setup.exe", noise(23456, 1));
    write_host_file(to + "/apps/core/core.dll", lines(81920, "core entry"));
    write_host_file(to + "/apps/core/help/core.hlp", noise(15000, 2));
    write_host_file(to + "/apps/tools/tools.exe", lines(40000, "tool"));
    write_host_file(to + "/apps/tools/tools.cab", noise(600000, 3));
    write_host_file(to + "/docs/guide.txt", lines(12596, "guide"));
}

const std::string HYPHENS = std::string(69, '-') + "\n\n";

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
    TempDir config;

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
        Q_INIT_RESOURCE(icons);
        floppy_drives_start(config.at("no-dev"));
    }

    void document_sorts_by_label_and_names_its_failures() {
        TempDir dir;
        RunContext rc;
        OutputLog log;
        engine_attach(&rc, &log);
        write_host_file(dir.at("WIN95.PRD"),
                        "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 false false false \"\" \"\"\n"
                        "1 b root \"b\" \"1.0\" \"beta\" \"b\" 0 true false false \"\" \"V\"\n"
                        "2 a1 root \"a1\" \"1.0\" \"Alpha\" \"a\" 0 true false false \"\" \"V\"\n"
                        "3 a2 root \"a2\" \"1.0\" \"alpha\" \"a\" 0 true false false \"\" \"V\"\n");
        ProductDocument doc;
        QCOMPARE(doc_open(&rc, dir.at("WIN95.PRD"), &doc), ResultCode(RC_OK));
        QCOMPARE(doc.labels, (std::vector<std::string>{"Alpha", "alpha", "beta"}));
        QCOMPARE(doc.names, (std::vector<std::string>{"a1", "a2", "b"}));
        write_host_file(dir.at("bad.prd"), "1 b root \"b\"\n");
        write_host_file(dir.at("empty.prd"), "");
        QCOMPARE(doc_open(&rc, dir.at("missing.prd"), &doc), ResultCode(RC_UNABLE_TO_READ));
        QCOMPARE(doc_open(&rc, dir.at("bad.prd"), &doc), ResultCode(RC_UNABLE_TO_PARSE));
        QCOMPARE(doc_open(&rc, dir.at("empty.prd"), &doc), ResultCode(RC_EMPTY));
        QCOMPARE(doc.names.size(), size_t(3));  // a failed open keeps the document

        ScriptedDialogs dialogs;
        MainWindow window({}, &dialogs);
        for (const char* name : {"missing.prd", "bad.prd", "empty.prd"})
            QVERIFY(!window.open_document(QString::fromStdString(dir.at(name))));
        QCOMPARE(dialogs.shown, (QStringList{"notice: Error Reading PRD File",
                                             "notice: Parse Error in PRD File",
                                             "notice: Empty PRD File"}));
        QCOMPARE(window.products->count(), 0);
        QVERIFY(!window.products->isEnabled());
        engine_detach(&rc);
    }

    void options_dialog_checks_its_sizes() {
        ScriptedDialogs dialogs;
        MoreOptions options;
        options.floppy_operation = true;
        OptionsDialog dialog(nullptr, options, &dialogs);
        QVERIFY(!dialog.suppress_subdirectory->isEnabled());
        QVERIFY(dialog.slop->isEnabled());
        dialog.show();
        dialog.slop->setText("10001");
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.slop));
        dialog.slop->setText("30");
        dialog.min_split->setText("abc");
        dialog.accept();
        QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.min_split));
        QCOMPARE(dialogs.shown, (QStringList{"notice: Please enter an integer between 0 and 10000.",
                                             "notice: Please enter a positive integer."}));
        dialog.min_split->setText("100");
        dialog.backup->setChecked(false);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(form_options_text(dialog.options()), std::string(" -f -x 100 -s 30"));

        options.floppy_operation = false;
        OptionsDialog update(nullptr, options, &dialogs);
        QVERIFY(update.suppress_subdirectory->isEnabled());
        QVERIFY(!update.slop->isEnabled() && !update.auto_compress->isEnabled());
    }

    void prompt_asks_checks_and_cancels() {
        TempDir dir;
        std::string image = dir.at("one.img");
        std::string root = host_path_to_engine(image);
        QCOMPARE(floppy_drive_bind(root, FLOPPY_IMAGE, image) == RC_OK ||
                     (write_host_file(image, ""), floppy_drive_bind(root, FLOPPY_IMAGE, image)) == RC_OK,
                 true);
        RunContext rc;  // 3.5HD
        ScriptedDialogs dialogs;
        PromptUser user{&dialogs, nullptr};
        rc.disk_prompt_user = &user;
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
        window_disk_prompt(&rc, &drive, "Core Files", 2, "Windows 32", &cancelled, false);
        QVERIFY(!cancelled);
        QString question = QString::fromStdString("ask: Insert disk to be labeled 'Core Files 2' into drive '" + root + "'");
        QCOMPARE(dialogs.shown,
                 (QStringList{question,
                              QString::fromStdString("notice: There is a problem reading from the disk in '" + root + "'."),
                              question,
                              QString::fromStdString("notice: The disk in '" + root + "' has the wrong sector size."),
                              question}));
        dialogs.shown.clear();
        window_disk_prompt(&rc, &drive, "Core Files", 2, "Windows 32", &cancelled, false);
        QVERIFY(cancelled);
        QCOMPARE(dialogs.shown, QStringList{question});
        floppy_drive_unbind(root);
    }

    void controls_follow_the_rules() {
        TempDir dir;
        copy_kit(dir.at("kit"));
        ScriptedDialogs dialogs;
        MainWindow window({{"A:", 4}, {"B:", 1}, {dir.at("disks"), DRIVE_KIND_FOLDER}}, &dialogs);
        // Start-up: 3.5" HD with A:, Replicate, nothing about products enabled.
        QVERIFY(window.media[0]->isChecked());
        QCOMPARE(window.drive_list->currentIndex(), 0);
        QVERIFY(window.operations[OPERATION_REPLICATE]->isChecked());
        QVERIFY(!window.operation_group->isEnabled() && !window.open->isEnabled() && !window.run->isEnabled());
        QVERIFY(window.open_document(QString::fromStdString(dir.at("kit/win95.prd"))));
        QStringList labels;
        for (int i = 0; i < window.products->count(); ++i) labels << window.products->item(i)->text();
        QCOMPARE(labels, (QStringList{"Core Files", "Documentation", "Installer", "Tools"}));
        QVERIFY(!window.run->isEnabled());
        window.select_all->click();
        QVERIFY(!window.run->isEnabled());  // no target yet
        window.target->setText("/t");
        QVERIFY(window.run->isEnabled());
        QVERIFY(!window.media_group->isEnabled());
        window.operations[OPERATION_CUT]->click();
        QCOMPARE(window.run->text(), QString("&Cut"));
        QVERIFY(window.media_group->isEnabled());
        window.media[5]->click();  // 5.25" Japan: B:
        QCOMPARE(window.drive_list->currentIndex(), 1);
        QTest::keyClick(window.drive_list, Qt::Key_Up);  // A: moves the media to 3.5" Japan
        QCOMPARE(window.drive_list->currentIndex(), 0);
        QVERIFY(window.media[4]->isChecked());
        window.deselect_all->click();
        QVERIFY(!window.run->isEnabled());
        QTest::keyClicks(window.prd_path, "x");  // editing the path closes the products
        QCOMPARE(window.products->count(), 0);
        QVERIFY(!window.operation_group->isEnabled());
        QVERIFY(window.open->isEnabled());
    }

    // Runs the window's operation on a fresh kit, then the console's
    // commands on another fresh kit at the same place; the pane's report
    // must be the console's.
    void runs_show_the_consoles_report() {
        TempDir dir;
        std::string kit = dir.at("kit");
        std::string disks = dir.at("disks");
        std::string copy = dir.at("copy");
        struct Case {
            int operation;
            QStringList products;  // "" for all
            std::vector<std::string> console_runs;
            std::string header;
        };
        std::string k = shell_quoted(kit);
        std::vector<Case> cases = {
            {OPERATION_UPDATE, {}, {k + " -o win95"}, "diskward " + kit + " -o win95\n\n"},
            {OPERATION_UPDATE, {"Tools"}, {k + " -o win95 -n tools"}, "diskward " + kit + " -o win95 -n tools\n\n"},
            {OPERATION_ASSIGN, {"Core Files", "Tools"},
             {k + " -o win95 -a -n core", k + " -o win95 -a -n tools"},
             "diskward " + kit + " -o win95 -a -n core tools\n\n"},
            {OPERATION_CUT, {"Core Files"}, {k + " -o win95 -w -d " + shell_quoted(disks) + " -n core"},
             "diskward " + kit + " -o win95 -w -d " + disks + " -n core\n\n"},
            {OPERATION_REPLICATE, {}, {k + " -o win95 -j " + shell_quoted(copy)},
             "diskward " + kit + " -o win95 -j " + copy + "\n\n"},
        };
        for (const Case& c : cases) {
            copy_kit(kit);
            std::filesystem::remove_all(disks);
            std::filesystem::remove_all(copy);
            ScriptedDialogs dialogs;
            MainWindow window({{disks, DRIVE_KIND_FOLDER}}, &dialogs);
            QVERIFY(window.open_document(QString::fromStdString(kit + "/win95.prd")));
            for (int i = 0; i < window.products->count(); ++i)
                window.products->item(i)->setSelected(c.products.isEmpty() ||
                                                      c.products.contains(window.products->item(i)->text()));
            window.operations[c.operation]->click();
            if (c.operation == OPERATION_REPLICATE) window.target->setText(QString::fromStdString(copy));
            QVERIFY(window.run->isEnabled());
            window.run->click();
            std::string pane = window.output->toPlainText().toStdString();
            QVERIFY(dialogs.shown.isEmpty());
            bool floppy = c.operation == OPERATION_ASSIGN || c.operation == OPERATION_CUT;
            QVERIFY2(window.layout_view->empty() == !floppy, pane.c_str());

            if (c.operation == OPERATION_CUT) {
                std::string image = shell_quoted(disks + "/CORE.KIT1_1.img");
                QCOMPARE(run_shell("fsck.fat -n " + image + " >/dev/null 2>&1; echo $?"), std::string("0\n"));
                QVERIFY(!run_shell("MTOOLS_SKIP_CHECK=1 mdir -b -i " + image + " ::").empty());
            }
            // The console on the same kit, as it was.
            std::filesystem::remove_all(disks);
            copy_kit(kit);
            std::filesystem::remove_all(copy);
            std::string report;
            for (const std::string& arguments : c.console_runs) report += console(arguments);
            QCOMPARE(pane, c.header + report + HYPHENS);
            if (c.operation == OPERATION_REPLICATE) {
                QVERIFY(window.operations[OPERATION_UPDATE]->isChecked());
                QCOMPARE(window.prd_path->text().toStdString(), copy + "/win95.prd");
                QCOMPARE(window.products->count(), 4);
            }
        }
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
