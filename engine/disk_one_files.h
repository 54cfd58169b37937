// The files that go on disk 1 before any component: the kit's user files,
// each dependent product's density map file, "lang" files, installer
// script and verification file, and the product table file of the run
// (".ptp" beside the product file), which is written here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/check_products.h"

struct DiskOneFile {
    std::string path;  // the engine path of the file
    std::string name;  // its name on the disk
    uint32_t size = 0;
};

// The product table file of a product file: its base name with "ptp".
std::string product_table_file_path(const PathParts& product_file);

// Collects the disk-1 files of `product`, whose dependent products are
// `dependents`, in their order, and writes the product table file (the
// version product, the dependent products, the product). 0; 20 when the
// staging directory cannot be listed; 1011 when a dependent product has no
// usable density map file; the size query's code for a file that is
// missing; the map file's or the writer's code.
ResultCode disk_one_files_collect(RunContext* rc, const ProductFileContext& pf, Value product,
                                  const std::vector<Value>& dependents,
                                  std::vector<DiskOneFile>* files);
