// The document: one product file, read with the engine's own reader into
// the names and interface labels of its products (the version product left
// out) and sorted by label, and the messages a failed open shows.
#pragma once

#include <string>
#include <vector>

#include "engine/run_context.h"

struct ProductDocument {
    std::string path;  // the host path of the product file
    std::vector<std::string> labels;
    std::vector<std::string> names;  // in the order of `labels`
};

// Reads the product file at host path `path` into `labels` and `names` in
// file order. RC_OK; RC_UNABLE_TO_READ when it cannot be read, RC_UNABLE_TO_PARSE when its table
// does not parse, RC_EMPTY when the table holds no product.
ResultCode doc_read_products(RunContext* run, const std::string& path,
                             std::vector<std::string>* labels, std::vector<std::string>* names);

// Sorts the two arrays together by label, letters folded; equal labels
// keep their order.
void doc_sort_products(std::vector<std::string>* labels, std::vector<std::string>* names);

// Reads and sorts the product file into *document (unchanged on failure).
ResultCode doc_open(RunContext* run, const std::string& path, ProductDocument* document);

// The message a failed open shows for `code`; "" when it shows none.
std::string doc_open_message(ResultCode code);
