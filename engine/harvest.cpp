// Harvesting superfluous files into the map.
#include "engine/harvest.h"

#include <string>

#include "engine/messages.h"
#include "media/fat_names.h"
#include "model/fields.h"
#include "model/group.h"
#include "runtime/atoms.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/values.h"
#include "sys/paths.h"
#include "sys/text.h"

namespace {

constexpr const char* TARGET_PREFIX = "%TARGET%\\";

// Why the installer could not take the file `relative`: nothing when every
// part of its path is an 8.3 name of FAT characters, else the line's note
// for the first part that is not.
std::string_view name_refusal(std::string_view relative) {
    for (std::string_view part : path_components(relative)) {
        switch (fat_name_short_fit(part)) {
            case FAT_SHORT_FITS:
                break;
            case FAT_SHORT_TOO_LONG:
                return HARVEST_TOO_LONG_NOTE;
            case FAT_SHORT_BAD_CHARACTER:
                return HARVEST_BAD_CHARACTER_NOTE;
        }
    }
    return {};
}

// True for the files no map lists as a file to install: the map file
// itself and the run's product file.
bool never_listed(const RunContext* run, std::string_view relative, std::string_view map_base) {
    return text_equal_nocase(relative, std::string(map_base) + ".map") ||
           names_product_file(run, relative);
}

// The group "Harvested" of the map, made and appended when missing; 0 when
// it cannot be made.
Value harvest_group(RuntimeContext* rt, Value product, MapReading* reading) {
    for (BiNode* g = reading->groups->first; g; g = g->next)
        if (text_equal_nocase(field_text(rt, group_name(g->value)), HARVEST_GROUP)) return g->value;
    Value name = atom_intern(rt, reading->file.atoms, HARVEST_GROUP);
    Value group = name ? group_create(rt, name, 0, 0, product) : 0;
    if (!group) return 0;
    if (bilist_push_back(rt, reading->groups, group) != RC_OK) {
        group_destroy(rt, group);
        return 0;
    }
    return group;
}

// The row of one file, marked found so that it is never "Missing"; 0 when
// a value cannot be made (nothing of it is then left).
Value harvest_row(RuntimeContext* rt, int32_t os_code, const SuperfluousFile& file) {
    SystemComponent* system = system_component_blank(rt, os_code);
    Value subgroup = field_string(rt, "");
    Value source = field_string(rt, file.relative);
    Value destination = field_string(rt, TARGET_PREFIX + file.relative);
    Value size = field_number(rt, file.size);
    if (!system || !subgroup || !source || !destination || !size) {
        for (Value v : {subgroup, source, destination, size}) value_release(rt, v);
        system_component_destroy(rt, system);
        return 0;
    }
    Value row = component_create(rt, subgroup, source, destination, size, 0, 0, 0, system);
    if (row) component_mark_processed(row, file.modified, file.changed);
    return row;
}

}  // namespace

ResultCode harvest_files(RunContext* run, Value product, MapReading* reading,
                         std::string_view map_base, const std::vector<SuperfluousFile>& files,
                         int depth) {
    RuntimeContext* rt = run->runtime;
    Value group = 0;
    for (const SuperfluousFile& file : files) {
        if (never_listed(run, file.relative, map_base)) continue;
        std::string_view refusal = name_refusal(file.relative);
        if (!refusal.empty()) {
            engine_report_note(run->log, depth, file.relative, refusal);
            continue;
        }
        if (!group && !(group = harvest_group(rt, product, reading))) return RC_NO_OBJECT;
        Value row = harvest_row(rt, run->options.os_code, file);
        if (!row) return RC_NO_OBJECT;
        if (group_add_component(rt, reading->file.ns, group, row) != RC_OK) {
            component_destroy(rt, row);
            return RC_NO_OBJECT;
        }
        run->modified = true;
        engine_report_note(run->log, depth, file.relative, "Harvested");
    }
    return RC_OK;
}
