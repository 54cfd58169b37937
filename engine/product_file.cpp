// Processing one product file: locking it against a second run, reading its
// product table, checking the products, and writing the table back (with
// its .old copy) when its text changed.
#include <cassert>

#include "engine/cd_image.h"
#include "engine/check_products.h"
#include "engine/engine_main.h"
#include "engine/messages.h"
#include "engine/replication.h"
#include "engine/script_file.h"
#include "model/fields.h"
#include "model/product.h"
#include "model/product_table.h"
#include "model/product_tree.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "sys/file_lock.h"
#include "sys/files.h"
#include "sys/text_file.h"

namespace {

// Rolls the sizes up the product tree and writes the table, keeping the
// former file as .old, unless the text is the one the file already holds.
// A total that does not fit 32 bits is a failure of that product: it is
// reported under the product's map file, RC_SIZE_TOO_LARGE comes back and nothing is
// written.
ResultCode write_back(RunContext* run, BiList* products, const PathParts& file, int depth) {
    RuntimeContext* rt = run->runtime;
    DisplayNode* root = product_tree_build(rt, products, run->options.product_filter, false);
    Value overflowed = 0;
    ResultCode code = product_sizes_roll_up(rt, root, true, &overflowed);
    assert(code != RC_SIZE_TOO_LARGE || overflowed);
    if (code == RC_SIZE_TOO_LARGE) {
        std::string directory =
            path_join(file.absolute, field_text(rt, product_location(overflowed)), "", "");
        engine_report(run->log, directory, "", field_text(rt, product_filename(overflowed)), "map",
                      NO_LINE, depth + 2, code);
        return code;
    }
    if (code != RC_OK) return code;
    // A runtime that has failed cannot be trusted to print the table.
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    std::string text;
    code = text_file_render(
        [&](TextFile* out) { return product_table_write(rt, out, products, false); }, &text);
    if (code != RC_OK) return code;
    return text_file_replace(file, text, run_keeps_backups(run), nullptr);
}

// Reads the table and checks its products; the product file's own result.
// A product's failure is reported under its map file and only kept in the
// run's result.
ResultCode process_table(RunContext* run, const ScriptFile& script, const PathParts& file,
                         int depth, int32_t* error_line) {
    RuntimeContext* rt = run->runtime;
    BiList* products = product_list_read(rt, script.reader);
    *error_line = int32_t(reader_line(rt, script.reader));
    ResultCode result = reader_failure(rt, script.reader);
    if (result != RC_OK) {
        *error_line = NO_LINE;  // a read that failed is not a line of the text
    } else if (!products) {
        result = RC_UNABLE_TO_PARSE;
    } else if (bilist_is_empty(rt, products)) {
        result = RC_EMPTY;
    } else {
        run->modified = false;
        *error_line = NO_LINE;
        ResultCode product_failure = RC_OK;
        // A CD-ROM image holds what a copy would: its products are chosen
        // first, and only they are checked.
        bool image = cd_image_wanted(run);
        std::vector<Value> selected;
        if (run_replicates(run))
            result = replicate_product_file(run, products, file.absolute, file.base, file.extension,
                                            depth);
        else if (image &&
                 (result = select_products(run, products, file, depth, &selected)) != RC_OK)
            image = false;
        else
            result = check_products(run, script.atoms, products, file.absolute, file.base,
                                    file.extension, depth, &product_failure,
                                    image ? &selected : nullptr);
        run_keep_failure(run, product_failure);
        if (result == RC_OK && product_failure == RC_OK && run->modified)
            result = write_back(run, products, file, depth);
        // The image is made of the files as the check has left them; a
        // failure of any of its products writes none.
        if (image && result == RC_OK && product_failure == RC_OK)
            result = cd_image_make(run, selected, file, depth);
        if (result == RC_SIZE_TOO_LARGE) {  // reported under the product
            run_keep_failure(run, result);
            result = RC_OK;
        }
    }
    product_list_destroy(rt, products);
    return result;
}

}  // namespace

ResultCode engine_process_product_file(RunContext* run, std::string_view directory,
                                       std::string_view base, std::string_view extension, int depth,
                                       int32_t* error_line) {
    RuntimeContext* rt = run->runtime;
    PathParts file{std::string(directory), "", std::string(base), std::string(extension)};
    *error_line = NO_LINE;
    engine_report_note(run->log, depth, path_join(file));

    // A second run on the same product file would take the first run's
    // half-written tables for the former ones and overwrite the back-ups.
    FileLock* lock = nullptr;
    ResultCode result = file_lock_take(path_join(file), &lock);
    if (result == RC_FILE_NOT_FOUND) result = RC_UNABLE_TO_READ;
    if (result != RC_OK) return result;

    ScriptFile script;
    result = RC_UNABLE_TO_READ;
    if (script_file_open(rt, directory, base, extension, &script))
        result = process_table(run, script, file, depth, error_line);
    script_file_close(rt, &script);
    file_lock_release(lock);
    return result;
}
