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

// What a disk-1 file is, for the order in which the disks are written.
enum DiskOneRole {
    DISK_ONE_USER,     // a user file of the staging folder
    DISK_ONE_DENSITY,  // a dependent product's density map file
    DISK_ONE_INS,      // a dependent product's installer script
    DISK_ONE_VRF,      // a dependent product's verification file
    DISK_ONE_LANG,     // a component of a dependent product's "lang" group
    DISK_ONE_TABLE,    // the product table file of the run
};

struct DiskOneFile {
    std::string path;  // the engine path of the file
    std::string name;  // its name on the disk
    uint32_t size = 0;
    DiskOneRole role = DISK_ONE_USER;
    size_t dependent = 0;  // which dependent product (in order) it comes with
};

// The product table file of a run on the product in `product_directory`:
// the product file's base name with "ptp", in the product's working
// subdirectory. It goes on disk 1 under the product file's name.
std::string product_table_file_path(const PathParts& product_file,
                                    std::string_view product_directory);

// Collects the disk-1 files of `product`, whose dependent products are
// `dependents`, in their order, and writes the product table file (the
// version product, the dependent products, the product). RC_OK; RC_UNABLE_TO_READ when the
// staging directory cannot be listed; RC_DEPENDENT_PRODUCT_ERROR when a dependent product has no
// usable density map file; RC_SIZE_TOO_LARGE when a rolled-up size of the table does
// not fit 32 bits; the size query's code for a file that is missing; the
// map file's or the writer's code. The working subdirectory is there. A file
// that cannot be counted is reported under its own path at `depth`, and
// *reported is set.
ResultCode disk_one_files_collect(RunContext* run, const ProductFileContext& pf, Value product,
                                  const std::vector<Value>& dependents, int depth,
                                  std::vector<DiskOneFile>* files, bool* reported);

// The disk-1 files as they are written, which is not the order they are
// counted in: the user files as found, then for each dependent product its
// density map file, installer script, verification file and "lang" files,
// then the product table.
std::vector<DiskOneFile> disk_one_write_order(const std::vector<DiskOneFile>& files);
