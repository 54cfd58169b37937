// The density map files of a product (its map file after an assignment for
// one media density, in its working subdirectory): their names, whether
// they are current, the lookup before an assignment with its notices to
// the user, and the cyclical-dependency warning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/run_context.h"

// The notices, word for word.
constexpr const char* NOTICE_OUT_OF_DATE = "The map file for this media size is out of date.";
constexpr const char* NOTICE_NO_DENSITY = "The map file for this density does not exist.";
constexpr const char* NOTICE_TRY_OTHER = "Trying map file for other density.";
constexpr const char* NOTICE_SIZES_OUT_OF_DATE = "File sizes are out of date.";
constexpr const char* NOTICE_RUN_FIRST = "Please run Diskward on this product first.";
// The four lines of the cyclical-dependency warning, parted by "\n".
extern const char* const CYCLE_WARNING;

// D\diskward\N.<suffix of `capacity`>.
std::string density_map_path(std::string_view product_directory, std::string_view map_base,
                             uint32_t capacity);

// The top-level product's density map file for the run's medium: when it
// does not exist, the working subdirectory is made and the product map file
// copied to it with the map file's times (so that it counts as out of
// date), and *created is set. RC_OK; RC_NO_DISKWARD_SUBDIR when the subdirectory cannot
// be made; the copy's code.
ResultCode density_map_prepare(RunContext* run, std::string_view product_directory,
                               std::string_view map_base, bool* created);

// Makes way for the assignment's own density map file of the top-level
// product: a file there that is not current (the copy made above, or one
// from before the map file changed) is removed, so that the assignment's
// text is written afresh, later than the map file, even where its bytes are
// those of the file it replaces. RC_OK, or the removal's code.
ResultCode density_map_retire(RunContext* run, std::string_view product_directory,
                              std::string_view map_base);

// Judges a dependent product's density map file, for the run's medium and
// then the other density, writing the notices at `depth`. RC_OK; RC_DEPENDENT_PRODUCT_ERROR when it
// is missing or out of date and no cycle is known; RC_NO_DISKWARD_SUBDIR or the copy's code
// when, under a cycle, the other density's file is made from the map file.
ResultCode density_map_judge(RunContext* run, std::string_view product_directory,
                             std::string_view map_base, int depth);

// The density map file of a dependent product that goes on disk 1 in
// *path: the run's medium's, else the other density's. RC_DEPENDENT_PRODUCT_ERROR when neither
// exists, or the one found is out of date while no cycle is known.
ResultCode density_map_find(RunContext* run, std::string_view product_directory,
                            std::string_view map_base, std::string* path);

// Tells that a dependent product's file `path` is out of date (`notice`),
// then the cycle warning when a cycle is known (RC_OK), else that the product
// must be run first (RC_DEPENDENT_PRODUCT_ERROR).
ResultCode dependent_out_of_date(RunContext* run, std::string_view path, std::string_view notice,
                                 int depth);
