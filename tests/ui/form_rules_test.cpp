// The form's rules without a window: commands, engine calls, enabling,
// media and drive coupling, and the options text.
#include "ui/form_rules.h"

#include <QTest>

namespace {

using Words = std::vector<std::string>;

// Three products, the first and third selected, a kit at /home/ana/kit.
FormState three_products(int operation) {
    FormState state;
    state.prd_path = "/home/ana/kit/WIN95.PRD";
    state.names = {"core", "tools", "docs"};
    state.selected = {true, false, true};
    state.operation = operation;
    state.drives = {{"A:", 4}, {"/home/ana/my disks", DRIVE_KIND_FOLDER}};
    state.drive = 0;
    return state;
}

}  // namespace

class FormRulesTest : public QObject {
    Q_OBJECT
private slots:
    void commands_follow_the_operation_and_the_selection() {
        EngineCommand c;
        FormState state = three_products(OPERATION_UPDATE);
        QCOMPARE(form_build_command(state, &c), std::string());
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95"));
        QCOMPARE(c.product_text, std::string(" core docs"));
        // Update with two of three runs once per product.
        QCOMPARE(
            form_engine_calls(c),
            (std::vector<Words>{{"diskward", "Z:\\home\\ana\\kit", "-o", "win95", "-n", "core"},
                                {"diskward", "Z:\\home\\ana\\kit", "-o", "win95", "-n", "docs"}}));

        // All selected: Replicate and Update pass no -n.
        state.selected = {true, true, true};
        form_build_command(state, &c);
        QCOMPARE(form_engine_calls(c),
                 (std::vector<Words>{{"diskward", "Z:\\home\\ana\\kit", "-o", "win95"}}));
        state.operation = OPERATION_REPLICATE;
        state.target = "/home/ana/copy of kit";
        form_build_command(state, &c);
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95 -j '/home/ana/copy of kit'"));
        QCOMPARE(form_engine_calls(c),
                 (std::vector<Words>{{"diskward", "Z:\\home\\ana\\kit", "-o", "win95", "-j",
                                      "Z:\\home\\ana\\copy of kit"}}));
        // Replicate with a subset: one call with every product.
        state.selected = {false, true, true};
        form_build_command(state, &c);
        QCOMPARE(form_engine_calls(c),
                 (std::vector<Words>{{"diskward", "Z:\\home\\ana\\kit", "-o", "win95", "-j",
                                      "Z:\\home\\ana\\copy of kit", "-n", "tools", "docs"}}));

        // Assign and Cut always pass the products, one call each.
        state = three_products(OPERATION_ASSIGN);
        state.selected = {true, true, true};
        state.media = 3;
        state.options.auto_compress = true;
        state.options.compress_threshold_kb = 64;
        form_build_command(state, &c);
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95 -a -z 5.25LD -c 64"));
        QCOMPARE(form_engine_calls(c).size(), size_t(3));
        QCOMPARE(form_engine_calls(c)[2], (Words{"diskward", "Z:\\home\\ana\\kit", "-o", "win95",
                                                 "-a", "-z", "5.25LD", "-c", "64", "-n", "docs"}));
        state.operation = OPERATION_CUT;
        state.drive = 1;
        state.media = 0;
        form_build_command(state, &c);
        QCOMPARE(c.text,
                 std::string("diskward /home/ana/kit -o win95 -w -d '/home/ana/my disks' -c 64"));
        QCOMPARE(c.drive_folder, std::string("/home/ana/my disks"));
        QCOMPARE(form_engine_calls(c)[0],
                 (Words{"diskward", "Z:\\home\\ana\\kit", "-o", "win95", "-w", "-d",
                        "Z:\\home\\ana\\my disks", "-c", "64", "-n", "core"}));
    }

    void staging_area_and_os_words_come_from_the_path() {
        EngineCommand c;
        FormState state = three_products(OPERATION_UPDATE);
        state.prd_path = "nt.prd";
        QCOMPARE(form_build_command(state, &c), std::string("Invalid Staging Area"));
        state.prd_path = "/nt.prd";
        QCOMPARE(form_build_command(state, &c), std::string("Invalid Staging Area"));
        state.prd_path = "/k/kit.prd";
        QCOMPARE(form_build_command(state, &c), std::string("Invalid OS"));
        state.prd_path = "ab/OS2.PRD";  // a two-character directory gets its separator back
        QCOMPARE(form_build_command(state, &c), std::string());
        QCOMPARE(c.words[1], std::string("ab/"));
        QCOMPARE(c.words[3], std::string("os2"));
        QCOMPARE(c.product_file, std::string("os2.prd"));
    }

    void enabling_follows_selection_operation_target_and_media() {
        FormState state = three_products(OPERATION_REPLICATE);
        QVERIFY(!form_enabling(state).run);  // no target
        state.target = "/t";
        FormEnabling e = form_enabling(state);
        QVERIFY(e.run);
        QVERIFY(!e.media_group);
        state.selected = {false, false, false};
        QVERIFY(!form_enabling(state).run);
        state.selected = {true, false, false};
        state.operation = OPERATION_ASSIGN;
        e = form_enabling(state);
        QVERIFY(e.run && e.media_group);
        for (bool on : e.media) QVERIFY(on);
        // Cut with a 3.5-inch high-density drive only.
        state.operation = OPERATION_CUT;
        state.drives = {{"A:", 4}};
        state.media = 1;
        e = form_enabling(state);
        QCOMPARE((std::vector<bool>(e.media, e.media + MEDIA_COUNT)),
                 (std::vector<bool>{true, false, true, false, true, false}));
        QVERIFY(!e.run);
        state.media = 4;
        QVERIFY(form_enabling(state).run);
    }

    void media_and_drives_are_coupled_both_ways() {
        std::vector<DriveEntry> drives = {{"A:", 1}, {"B:", 3}, {"/d", DRIVE_KIND_FOLDER}};
        QCOMPARE(drive_for_media(drives, 3), 0);
        QCOMPARE(drive_for_media(drives, 2), 1);
        QCOMPARE(drive_for_media(drives, 0), 2);
        QCOMPARE(drive_for_media({{"A:", 1}}, 0), -1);
        int media = -1, drive = -1;
        QVERIFY(drive_choice_at_start({{"A:", 1}, {"B:", 3}}, &media, &drive));
        QCOMPARE(media, 2);
        QCOMPARE(drive, 1);
        QVERIFY(!drive_choice_at_start({}, &media, &drive));
        // kind: from each media 0..5
        const int expected[5][MEDIA_COUNT] = {{0, 1, 2, 3, 4, 5},  // the folder (kind 5) keeps it
                                              {3, 3, 3, 3, 5, 3},
                                              {1, 1, 3, 3, 5, 5},
                                              {2, 2, 2, 2, 2, 4},
                                              {0, 0, 2, 2, 4, 4}};
        for (int kind = 1; kind <= 5; ++kind)
            for (int m = 0; m < MEDIA_COUNT; ++m)
                QCOMPARE(media_for_drive(kind, m), expected[kind % 5][m]);
    }

    void media_buttons_give_their_medium_and_product_files_their_os_word() {
        std::vector<std::string> captions, words;
        for (int m = -1; m <= MEDIA_COUNT; ++m) {
            captions.push_back(media_caption(m));
            words.push_back(media_word(m));
        }
        QCOMPARE(captions,
                 (std::vector<std::string>{"", "3.5\" HD", "5.25\" HD", "3.5\" LD", "5.25\" LD",
                                           "3.5\" Japan", "5.25\" Japan", ""}));
        QCOMPARE(words, (std::vector<std::string>{"", "", "5.25HD", "3.5LD", "5.25LD", "3.5JHD",
                                                  "5.25JHD", ""}));

        std::vector<std::string> taken;
        for (const char* file :
             {"OS2.PRD", "nt.prd", "Windows.Prd", "dos.prd", "NETWARE.prd", "win95.prd",
              "win32.prd", "win95.map", "win95", ".prd", "prd", "win95.prd.prd"}) {
            FormState state = three_products(OPERATION_UPDATE);
            state.prd_path = std::string("/home/ana/kit/") + file;
            EngineCommand c;
            std::string problem = form_build_command(state, &c);
            taken.push_back(problem.empty() ? c.words[3] + " " + c.product_file : problem);
        }
        QCOMPARE(taken, (std::vector<std::string>{
                            "os2 os2.prd", "nt nt.prd", "windows windows.prd", "dos dos.prd",
                            "netware netware.prd", "win95 win95.prd", "Invalid OS", "Invalid OS",
                            "Invalid OS", "Invalid OS", "Invalid OS", "Invalid OS"}));
    }

    void drives_write_the_media_of_their_kind() {
        // One row per kind 0 to 5 (none, the four floppy kinds, the folder),
        // one column per media -1 to 6.
        std::vector<std::string> rows;
        for (int kind = 0; kind <= DRIVE_KIND_FOLDER; ++kind) {
            std::string row;
            for (int m = -1; m <= MEDIA_COUNT; ++m) row += drive_can_write(kind, m) ? 'x' : '.';
            rows.push_back(row);
        }
        QCOMPARE(rows, (std::vector<std::string>{"........", "....x.x.", "..x.x.x.", "...x.x..",
                                                 ".x.x.x..", ".xxxxxx."}));
    }

    void options_text_and_sizes() {
        MoreOptions o;
        QCOMPARE(form_options_text(o), std::string());
        o.floppy_operation = true;
        QCOMPARE(form_options_text(o), std::string());
        o.backup = false;
        o.auto_compress = true;
        o.slop_kb = 30;
        o.min_split_kb = 100;
        o.no_split = true;
        o.suppress_subdirectory = true;
        QCOMPARE(form_options_text(o), std::string(" -f -q -c -x 100 -s 30"));
        o.floppy_operation = false;
        QCOMPARE(form_options_text(o), std::string(" -f -r"));
        // The options follow the operation the run is for.
        FormState state = three_products(OPERATION_UPDATE);
        state.options = o;
        state.options.floppy_operation = true;
        EngineCommand c;
        form_build_command(state, &c);
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95 -f -r"));
        // Harvest shows in Update's command line but is no engine word, and
        // Assign has none.
        state.options.harvest = true;
        form_build_command(state, &c);
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95 -f -r --harvest"));
        QCOMPARE(c.words, (std::vector<std::string>{"diskward", "/home/ana/kit", "-o", "win95",
                                                    "-f", "-r"}));
        QVERIFY(c.harvest);
        state.operation = OPERATION_ASSIGN;
        form_build_command(state, &c);
        QCOMPARE(c.text, std::string("diskward /home/ana/kit -o win95 -a -f -q -c -x 100 -s 30"));
        QVERIFY(!c.harvest);

        uint32_t value = 7;
        QCOMPARE(options_size_problem("10000", &value), std::string());
        QCOMPARE(value, uint32_t(10000));
        QCOMPARE(options_size_problem(" 0042 ", &value), std::string());
        QCOMPARE(value, uint32_t(42));
        QCOMPARE(options_size_problem("10001", &value),
                 std::string("Please enter an integer between 0 and 10000."));
        QCOMPARE(options_size_problem("99999999999999999999", &value),
                 std::string("Please enter an integer between 0 and 10000."));
        for (const char* bad : {"", "-1", "1k", "x"})
            QCOMPARE(options_size_problem(bad, &value),
                     std::string("Please enter a positive integer."));
        QCOMPARE(value, uint32_t(42));
    }
};

QTEST_APPLESS_MAIN(FormRulesTest)
#include "form_rules_test.moc"
