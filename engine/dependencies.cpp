// Dependent products.
#include "engine/dependencies.h"

#include <algorithm>

#include "engine/messages.h"
#include "engine/script_file.h"
#include "engine/version_checks.h"
#include "model/fields.h"
#include "model/product.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "sys/text.h"

Value product_named(RuntimeContext* rt, BiList* products, std::string_view name) {
    for (BiNode* n = products->first; n; n = n->next)
        if (text_equal_nocase(field_text(rt, product_name(n->value)), name)) return n->value;
    return 0;
}

std::string product_directory(RuntimeContext* rt, std::string_view directory, Value product) {
    return path_join(directory, field_text(rt, product_location(product)), "", "");
}

ResultCode product_references_read(RunContext* run, BiList* products, std::string_view directory,
                                   Value product, int depth,
                                   const std::function<void(Value)>& found) {
    RuntimeContext* rt = run->runtime;
    std::string location = product_directory(rt, directory, product);
    std::string filename(field_text(rt, product_filename(product)));
    ScriptFile script;
    ResultCode code = RC_OK;
    if (!script_file_open(rt, location, filename, "vrf", &script)) code = RC_FILE_NOT_FOUND;
    for (Reader* reader = script.reader; reader;) {
        Value token = reader_next(rt, reader);
        if (is_eof(token) || is_lex_error(token) || is_none(token)) break;
        if (is_name(token)) {
            Value named = product_named(rt, products, string_view_of(rt, token));
            if (named) found(named);
        }
        token_release(rt, token);
    }
    if (code == RC_OK && script.reader) code = reader_failure(rt, script.reader);
    script_file_close(rt, &script);
    if (code != RC_OK) engine_report(run->log, location, "", filename, "vrf", NO_LINE, depth, code);
    return code;
}

bool names_version_product(const RunContext* run, std::string_view name) {
    return text_equal_nocase(name, version_product_name(run)) || text_equal_nocase(name, "instver");
}

ResultCode dependency_list_build(RunContext* run, BiList* products, std::string_view directory,
                                 Value product, int depth, std::vector<Value>* list) {
    RuntimeContext* rt = run->runtime;
    list->clear();
    std::string_view own_file = field_text(rt, product_filename(product));
    // The product itself is scanned first, then each product as it was found.
    for (size_t next = 0;; ++next) {
        Value scanned = next == 0 ? product : (*list)[next - 1];
        bool own = text_equal_nocase(field_text(rt, product_filename(scanned)), own_file);
        ResultCode code =
            product_references_read(run, products, directory, scanned, depth + 2, [&](Value named) {
                if (named == product) {
                    if (!own) run->dependency_flag = true;
                    return;
                }
                if (names_version_product(run, field_text(rt, product_name(named)))) return;
                if (std::find(list->begin(), list->end(), named) == list->end())
                    list->push_back(named);
            });
        if (code != RC_OK) {
            list->clear();
            return code;
        }
        if (next == list->size()) return RC_OK;
    }
}
