// The document: reading and sorting a product file's products.
#include "ui/product_document.h"

#include <utility>

#include "engine/script_file.h"
#include "model/fields.h"
#include "model/product.h"
#include "model/product_table.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "sys/host_paths.h"
#include "sys/paths.h"
#include "sys/text.h"

ResultCode doc_read_products(RunContext* run, const std::string& path,
                             std::vector<std::string>* labels, std::vector<std::string>* names) {
    RuntimeContext* rt = run->runtime;
    PathParts parts = path_split(console_convert_argument(path));
    std::string directory = path_join(parts.absolute, parts.relative, "", "");
    std::string version_name = parts.base + "instver";
    ScriptFile script;
    if (!script_file_open(rt, directory, parts.base, parts.extension, &script)) {
        script_file_close(rt, &script);
        return RC_UNABLE_TO_READ;
    }
    BiList* products = product_list_read(rt, script.reader);
    ResultCode code = RC_OK;
    if (!products)
        code = reader_failure(rt, script.reader) != RC_OK ? RC_UNABLE_TO_READ : RC_UNABLE_TO_PARSE;
    else if (bilist_is_empty(rt, products))
        code = RC_EMPTY;
    if (code == RC_OK) {
        labels->clear();
        names->clear();
        for (BiNode* n = products->first; n; n = n->next) {
            std::string_view name = field_text(rt, product_name(n->value));
            if (text_equal_nocase(name, version_name)) continue;
            names->emplace_back(name);
            labels->emplace_back(field_text(rt, product_interface_label(n->value)));
        }
    }
    if (products) product_list_destroy(rt, products);
    script_file_close(rt, &script);
    return code;
}

void doc_sort_products(std::vector<std::string>* labels, std::vector<std::string>* names) {
    // Neighbours strictly out of order are exchanged, from the end towards
    // the front, so equal labels keep their order.
    size_t count = labels->size();
    for (size_t pass = 1; pass < count; ++pass)
        for (size_t i = count - 1; i >= pass; --i)
            if (text_compare_nocase((*labels)[i], (*labels)[i - 1]) < 0) {
                std::swap((*labels)[i], (*labels)[i - 1]);
                std::swap((*names)[i], (*names)[i - 1]);
            }
}

ResultCode doc_open(RunContext* run, const std::string& path, ProductDocument* document) {
    ProductDocument read;
    ResultCode code = doc_read_products(run, path, &read.labels, &read.names);
    if (code != RC_OK) return code;
    doc_sort_products(&read.labels, &read.names);
    read.path = path;
    *document = std::move(read);
    return RC_OK;
}

std::string doc_open_message(ResultCode code) {
    switch (code) {
        case RC_UNABLE_TO_READ:
            return "Error Reading PRD File";
        case RC_UNABLE_TO_PARSE:
            return "Parse Error in PRD File";
        case RC_EMPTY:
            return "Empty PRD File";
        default:
            return "";
    }
}
