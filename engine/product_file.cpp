// Processing one product file: reading its product table, checking the
// products, and writing the table back (with its .old copy) when it changed.
#include "engine/check_products.h"
#include "engine/engine_main.h"
#include "engine/messages.h"
#include "engine/script_file.h"
#include "model/product_table.h"
#include "model/product_tree.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "sys/files.h"
#include "sys/text_file.h"

namespace {

// Keeps the former product file as .old, rolls the sizes up the product
// tree and writes the table.
ResultCode write_back(RunContext* rc, BiList* products, const PathParts& file) {
    if (!rc->no_backups) {
        ResultCode code = file_keep_old_copy(file);
        if (code != RC_OK) return code;
    }
    RuntimeContext* rt = rc->runtime;
    DisplayNode* root = product_tree_build(rt, products, rc->product_filter, false);
    product_sizes_roll_up(rt, root, true);
    if (!rt_usable(rt)) return RC_OK;
    return text_file_write_whole(
        file, [&](TextFile* out) { return product_table_write(rt, out, products, false); });
}

}  // namespace

ResultCode engine_process_product_file(RunContext* rc, std::string_view directory,
                                       std::string_view base, std::string_view extension,
                                       int depth) {
    RuntimeContext* rt = rc->runtime;
    PathParts file{std::string(directory), "", std::string(base), std::string(extension)};
    ScriptFile script;
    script_file_open(rt, directory, base, extension, &script);
    rc->error_line = NO_LINE;
    engine_report_note(rc->log, depth, path_join(file));

    ResultCode result = RC_UNABLE_TO_READ;
    if (script.reader) {
        BiList* products = product_list_read(rt, script.reader);
        rc->error_line = int32_t(reader_line(rt, script.reader));
        if (!products) {
            result = RC_UNABLE_TO_PARSE;
        } else if (bilist_is_empty(rt, products)) {
            result = RC_EMPTY;
        } else {
            rc->modified = false;
            rc->error_line = NO_LINE;
            // Replication of the product file comes with the replication
            // step; in that mode the file is only listed here.
            result = rc->replicate ? RC_OK
                                   : check_products(rc, script.atoms, products, directory, base,
                                                    extension, depth);
            if (result == RC_OK && rc->modified) result = write_back(rc, products, file);
        }
        product_list_destroy(rt, products);
    }
    script_file_close(rt, &script);
    return result;
}
