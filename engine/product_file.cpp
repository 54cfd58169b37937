// Processing one product file: reading its product table, checking the
// products, and writing the table back (with its .old copy) when it changed.
#include "engine/check_products.h"
#include "engine/engine_main.h"
#include "model/product_table.h"
#include "model/product_tree.h"
#include "runtime/atoms.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/namespaces.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/values.h"
#include "sys/files.h"
#include "sys/text_file.h"

namespace {

constexpr uint32_t kNamespaceBuckets = 57;
constexpr uint32_t kAtomBuckets = 7;

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
    TextFile* out = nullptr;
    ResultCode code =
        text_file_open_write(&out, file.absolute, file.relative, file.base, file.extension);
    if (code != RC_OK) return code;
    code = product_table_write(rt, out, products, false);
    ResultCode closed = text_file_close(out);
    return code != RC_OK ? code : closed;
}

}  // namespace

ResultCode engine_process_product_file(RunContext* rc, std::string_view directory,
                                       std::string_view base, std::string_view extension,
                                       int depth) {
    RuntimeContext* rt = rc->runtime;
    PathParts file{std::string(directory), "", std::string(base), std::string(extension)};
    Namespace* ns = namespace_new(rt, nullptr, kNamespaceBuckets);
    SymbolTable* atoms = symtab_new(rt, kAtomBuckets);
    Reader* reader = (ns && atoms) ? reader_open(rt, atoms, nullptr, ns, false, false,
                                                 directory, "", base, extension)
                                   : nullptr;
    rc->error_line = NO_LINE;
    log_depth(rc->log, depth);
    log_text(rc->log, path_join(file));
    log_end_line(rc->log);

    ResultCode result = RC_UNABLE_TO_READ;
    if (reader) {
        BiList* products = product_list_read(rt, reader);
        rc->error_line = int32_t(reader_line(rt, reader));
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
                                   : check_products(rc, atoms, products, directory, base,
                                                    extension, depth);
            if (result == RC_OK && rc->modified) result = write_back(rc, products, file);
        }
        product_list_destroy(rt, products);
        reader_close(rt, reader);
    }
    if (atoms) atom_table_destroy(rt, atoms);
    if (ns) namespace_destroy(rt, ns, string_free, value_release);
    return result;
}
