// The disk-1 files.
#include "engine/disk_one_files.h"

#include <algorithm>
#include <set>

#include "engine/density_maps.h"
#include "engine/dependencies.h"
#include "engine/directory_walk.h"
#include "engine/map_files.h"
#include "engine/messages.h"
#include "engine/version_checks.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/product.h"
#include "model/product_table.h"
#include "model/product_tree.h"
#include "runtime/bidirectional_lists.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

// The user files the installer reads first, in the order they are counted.
constexpr const char* USER_SCRIPT_EXTENSIONS[] = {"stp", "nls", "avf", "pvf"};

struct Collection {
    RunContext* run;
    const ProductFileContext* pf;
    std::vector<DiskOneFile>* files;
    std::set<std::string> counted;  // folded paths already on the list
    bool user_scripts = false;      // one of the user script files was found
    size_t dependent = 0;           // the dependent product being counted
    int depth = 0;                  // where a file that cannot be counted is reported
    bool* reported = nullptr;       // set when such a file is reported
};

std::string name_on_disk(std::string_view path) {
    PathParts parts = path_split(path);
    return path_join("", "", parts.base, parts.extension);
}

// Adds the file `path` when it is not on the list yet, under `name`.
ResultCode add_file(Collection* c, const std::string& path, const std::string& name,
                    DiskOneRole role = DISK_ONE_USER) {
    if (!c->counted.insert(text_fold(path)).second) return RC_OK;
    DiskOneFile file{path, name, 0, role, c->dependent};
    ResultCode code = file_size(path, &file.size);
    if (code == RC_OK) {
        c->files->push_back(std::move(file));
        return RC_OK;
    }
    // Named here, as a missing verification file is: the product's own
    // report would not say which file is missing.
    engine_report_text(c->run->log, c->depth, path, engine_message(code));
    *c->reported = true;
    return code;
}

// Adds the file `path` when it exists; *found tells whether it did.
ResultCode add_if_present(Collection* c, const std::string& path, bool* found = nullptr) {
    bool exists = false;
    ResultCode code = file_exists(path, &exists);
    if (found) *found = exists;
    if (code != RC_OK || !exists) return code;
    return add_file(c, path, name_on_disk(path));
}

std::string staging_file(const Collection* c, std::string_view base, std::string_view extension) {
    return path_join(c->pf->file.absolute, "", base, extension);
}

ResultCode add_user_files(Collection* c) {
    for (const char* extension : USER_SCRIPT_EXTENSIONS) {
        bool found = false;
        ResultCode code = add_if_present(c, staging_file(c, "user", extension), &found);
        if (code != RC_OK) return code;
        c->user_scripts = c->user_scripts || found;
    }
    ResultCode code = add_if_present(c, staging_file(c, "user", "pin"));
    if (code != RC_OK) return code;
    ResultCode added = RC_OK;
    code = directory_walk(c->pf->file.absolute, false, [&](const WalkEntry& entry) {
        // A FIFO, socket or device named like a user file is taken as one,
        // so that its size query fails the product as unreadable.
        bool taken = entry.problem == WALK_SOUND || entry.problem == WALK_NOT_REGULAR;
        if (entry.is_directory || !taken ||
            !text_equal_nocase(path_split(entry.name).extension, "usr"))
            return WALK_PASS;
        added = add_file(c, entry.full, entry.name);
        return added == RC_OK ? WALK_PASS : WALK_STOP;
    });
    return code != RC_OK ? code : added;
}

// A dependent product's density map file (stored as its map file), its
// "lang" files with their user files, its installer script and its
// verification file.
ResultCode add_dependent(Collection* c, Value dependent) {
    RunContext* run = c->run;
    RuntimeContext* rt = run->runtime;
    std::string directory = product_directory(rt, c->pf->file.absolute, dependent);
    std::string filename(field_text(rt, product_filename(dependent)));
    std::string density;
    ResultCode code = density_map_find(run, directory, filename, &density);
    if (code != RC_OK) return code;
    if ((code = add_file(c, density, path_join("", "", filename, "map"), DISK_ONE_DENSITY)) !=
        RC_OK)
        return code;

    MapReading map;
    code = map_reading_open(run, dependent, PathParts{directory, "", filename, "map"}, &map);
    for (GroupComponent gc : group_components(code == RC_OK ? map.groups : nullptr)) {
        if (!text_equal_nocase(field_text(rt, group_name(gc.group)), "lang")) continue;
        std::string_view source = field_text(rt, component_source(gc.component));
        std::string path = path_join(directory, "", source, "");
        if (c->counted.insert(text_fold(path)).second)
            c->files->push_back(
                DiskOneFile{path, name_on_disk(source),
                            field_number_value(rt, component_size(gc.component, false)),
                            DISK_ONE_LANG, c->dependent});
        if (c->user_scripts)
            code = add_if_present(c, staging_file(c, "user", path_split(source).extension));
        if (code != RC_OK) break;
    }
    map_reading_close(rt, &map);
    if (code != RC_OK) return code;
    if ((code = add_file(c, path_join(directory, "", filename, "ins"),
                         path_join("", "", filename, "ins"), DISK_ONE_INS)) != RC_OK)
        return code;
    return add_file(c, path_join(directory, "", filename, "vrf"),
                    path_join("", "", filename, "vrf"), DISK_ONE_VRF);
}

// The rows of the product table file: the version product as the product
// list holds it (or, in a product file that has none yet, the one it is
// about to gain), the dependent products in order, and the product, each a
// copy with its display state, so that marking and rolling up the table's
// tree leaves the product list as the check made it.
ResultCode table_rows(Collection* c, Value product, const std::vector<Value>& dependents,
                      BiList* rows) {
    RunContext* run = c->run;
    RuntimeContext* rt = run->runtime;
    Value version = 0;
    for (BiNode* n = c->pf->products->first; n && !version; n = n->next)
        if (names_version_product(run, field_text(rt, product_name(n->value)))) version = n->value;
    // Appends a made row; false (the row released) when there is none or
    // the list cannot take it.
    auto append = [&](Value made) {
        if (made && bilist_push_back(rt, rows, made) == RC_OK) return true;
        if (made) product_destroy(rt, made);
        return false;
    };
    if (!append(version ? product_copy_displayed(rt, version)
                        : version_product_create(rt, c->pf->atoms, current_installer_version(run),
                                                 version_product_name(run))))
        return RC_NO_OBJECT;
    for (Value dependent : dependents)
        if (!append(product_copy_displayed(rt, dependent))) return RC_NO_OBJECT;
    return append(product_copy_displayed(rt, product)) ? RC_OK : RC_NO_OBJECT;
}

// Writes the product table file as the installer reads it from disk 1:
// every Location blank (no product folder exists on the floppy), and the
// tree built with the product as its one root, shown selected, and rolled
// up as the product file's write-back rolls it up.
ResultCode write_product_table(Collection* c, Value product, const std::vector<Value>& dependents,
                               const std::string& path) {
    RuntimeContext* rt = c->run->runtime;
    BiList* rows = bilist_new(rt, 0);
    if (!rows) return RC_NO_OBJECT;
    ResultCode code = table_rows(c, product, dependents, rows);
    if (code == RC_OK) {
        DisplayNode* root =
            product_tree_build(rt, rows, field_text(rt, product_name(product)), true);
        code = product_sizes_roll_up(rt, root, true);
    }
    if (code == RC_OK)
        code = text_file_write_whole(path_split(path), [&](TextFile* out) {
            return product_table_write(rt, out, rows, true);
        });
    product_list_destroy(rt, rows);
    return code;
}

}  // namespace

std::string product_table_file_path(const PathParts& product_file,
                                    std::string_view product_directory) {
    return path_join(work_directory_path(product_directory), "", product_file.base, "ptp");
}

ResultCode disk_one_files_collect(RunContext* run, const ProductFileContext& pf, Value product,
                                  const std::vector<Value>& dependents, int depth,
                                  std::vector<DiskOneFile>* files, bool* reported) {
    RuntimeContext* rt = run->runtime;
    Collection c{run, &pf, files, {}, false, 0, depth, reported};
    files->clear();
    ResultCode code = RC_OK;
    if (!text_equal_nocase(field_text(rt, product_name(product)), run->options.install_product))
        code = add_user_files(&c);
    for (size_t i = 0; i < dependents.size() && code == RC_OK; ++i) {
        c.dependent = i;
        code = add_dependent(&c, dependents[i]);
    }
    if (code != RC_OK) return code;
    std::string table =
        product_table_file_path(pf.file, product_directory(rt, pf.file.absolute, product));
    if ((code = write_product_table(&c, product, dependents, table)) != RC_OK) return code;
    return add_file(&c, table, path_join("", "", pf.file.base, "prd"), DISK_ONE_TABLE);
}

std::vector<DiskOneFile> disk_one_write_order(const std::vector<DiskOneFile>& files) {
    // User files first, then each dependent product's files by role, then
    // the table; the order found within each.
    auto rank = [](const DiskOneFile& f) {
        if (f.role == DISK_ONE_USER) return std::make_pair(size_t(0), 0);
        if (f.role == DISK_ONE_TABLE) return std::make_pair(SIZE_MAX, 0);
        return std::make_pair(f.dependent + 1, int(f.role));
    };
    std::vector<DiskOneFile> ordered = files;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const DiskOneFile& a, const DiskOneFile& b) { return rank(a) < rank(b); });
    return ordered;
}
