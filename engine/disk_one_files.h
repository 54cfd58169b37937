// The files that go on disk 1 before any component: the kit's user files,
// each dependent product's density map file, "lang" files, installer
// script and verification file, and the product table file of the run,
// which is written here into the product's working subdirectory (so that a
// ".ptp" file of the user's beside the product file is never touched).
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

// The product table file of a run on the product in `product_directory`:
// the product file's base name with "ptp", in the product's working
// subdirectory. It goes on disk 1 under the product file's name.
std::string product_table_file_path(const PathParts& product_file,
                                    std::string_view product_directory);

// Collects the disk-1 files of `product`, whose dependent products are
// `dependents`, in their order, and writes the product table file (the
// version product, the dependent products, the product). 0; 20 when the
// staging directory cannot be listed; 1011 when a dependent product has no
// usable density map file; 1019 when a rolled-up size of the table does
// not fit 32 bits; the size query's code for a file that is missing; the
// map file's or the writer's code. The working subdirectory is there.
ResultCode disk_one_files_collect(RunContext* rc, const ProductFileContext& pf, Value product,
                                  const std::vector<Value>& dependents,
                                  std::vector<DiskOneFile>* files);
