// Staging-area replication: the products of a product file (those named
// with -N and the products they depend on, or all), copied with their files
// into another tree, with the product table of the copy and the user files
// beside it; the copy's directory is left in the run's `replica_dir` for
// the check that follows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/run_context.h"
#include "sys/paths.h"

struct BiList;

// Replicates the product file `directory`\`base`.`extension` whose products
// are `products`. RC_UNKNOWN_PRODUCT_NAME is reported for -N names that match no product (they
// are skipped); RC_FILE_NOT_FOUND (reported) when a selected product has no verification
// file; RC_INVALID_TARGET_LOCATION for a target that is the source, lies inside it or holds it,
// and RC_TARGET_NOT_A_DIRECTORY for a target that is not a directory, judged as the host
// resolves them before anything is made; RC_INVALID_FILE_NAME for a replica directory over
// 260 characters; the file services' codes when the copy's directories
// cannot be made or the source directory listed. Failures of the copy's own
// files are reported against the file they concern, kept in the run's
// result and the copy goes on: a product whose files cannot be copied
// (under its map file), a user file, the copy's product table or its
// back-up, and RC_SHARING_VIOLATION for a product table that another run holds.
ResultCode replicate_product_file(RunContext* run, BiList* products, std::string_view directory,
                                  std::string_view base, std::string_view extension, int depth);

// The products a copy of the product file `file` takes, in order: those
// named by -N (unknown names reported with RC_UNKNOWN_PRODUCT_NAME and skipped) and the
// products they need, or, without -N, every product. The codes of
// select_dependencies.
ResultCode select_products(RunContext* run, BiList* products, const PathParts& file, int depth,
                           std::vector<Value>* selected);

// Adds to `selected` every product that a selected product's verification
// file names, until no more are added. RC_FILE_NOT_FOUND (reported) when a verification
// file is missing; RC_UNABLE_TO_READ (reported) when one cannot be read whole.
ResultCode select_dependencies(RunContext* run, std::vector<Value>* selected, BiList* products,
                               std::string_view directory, int depth);

// The directory of the copy: the source directory with the source root
// (the part common to it and every product's directory, ending at a path
// component) replaced by the full path of `target`, which is made when
// missing, once it is known to lie apart from the source root (RC_INVALID_TARGET_LOCATION) and to
// be a directory (RC_TARGET_NOT_A_DIRECTORY). Stored in run->replica_dir and *replica; the full
// path of `target` in *copy_root (may be null).
ResultCode compute_replica_dir(RunContext* run, BiList* products, std::string_view directory,
                               std::string* replica, std::string* copy_root);

// The files of `product` (whose directory lies below `directory`) that a
// copy of it takes, as paths relative to its directory, in map order: every
// component's Source that names a file inside the directory, then its map
// file when the map does not list itself. The map file's codes (RC_UNABLE_TO_READ,
// RC_UNABLE_TO_PARSE, RC_EMPTY), with the line reached in *error_line (NO_LINE for none).
ResultCode product_copy_sources(RunContext* run, Value product, std::string_view directory,
                                std::vector<std::string>* sources, int32_t* error_line);

// True when the file name `name` is one of the user files that go with a
// copy of a product file: base name "user" or extension "usr".
bool names_user_file(std::string_view name);

// Copies one product's files, as its map file lists them, from its
// directory below `directory` to the same place below the replica
// directory; each file takes the place of a former one only once it is
// whole. RC_INVALID_TARGET_LOCATION when that place is not inside `copy_root` (a Location that is
// absolute or climbs out with ".."); the map file's codes (RC_UNABLE_TO_READ, RC_UNABLE_TO_PARSE,
// RC_EMPTY), with the line reached in *error_line (else NO_LINE); the copy's code for a file that
// cannot be copied; RC_UNABLE_TO_READ after the others when a file is no regular file (its line
// written at `depth`).
ResultCode replicate_product(RunContext* run, Value product, std::string_view directory,
                             std::string_view copy_root, int depth, int32_t* error_line);
