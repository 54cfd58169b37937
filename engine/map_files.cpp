// Writing map files, with the map file's own size kept current.
#include "engine/map_files.h"

#include "engine/messages.h"
#include "media/media_table.h"
#include "model/fields.h"
#include "model/group.h"
#include "model/group_table.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/reader.h"
#include "runtime/values.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

// A size entry settles within a few rewrites (only its digit count can move
// the file size); more than this means something else keeps changing it.
constexpr int MOST_REWRITES = 16;

struct MapComponent {
    Value component = 0;
    Value group = 0;
};

// Reports the files the staging-area check did not find and finds the map
// file's own entry. True when something is missing.
bool report_missing(RunContext* run, BiList* groups, std::string_view map_base, int indent,
                    MapComponent* map) {
    RuntimeContext* rt = run->runtime;
    bool missing = false;
    for (GroupComponent gc : group_components(groups)) {
        std::string_view source = field_text(rt, component_source(gc.component));
        if (!map->component && map_is_map_component(source, map_base)) {
            map->component = gc.component;
            map->group = gc.group;
        }
        if (component_processed(gc.component) || source.find('%') != std::string_view::npos)
            continue;
        PathParts parts = path_split(source);
        if (parts.base.empty() && parts.extension.empty()) continue;
        engine_report_note(run->log, indent, source, "Missing");
        missing = true;
    }
    return missing;
}

// The whole table as it will stand in the file, and its size.
ResultCode render_table(RuntimeContext* rt, BiList* groups, int32_t os_code, std::string* text,
                        uint32_t* size) {
    ResultCode code = text_file_render(
        [&](TextFile* file) { return group_table_write(rt, file, groups, os_code); }, text);
    if (code != RC_OK) return code;
    if (text->size() > UINT32_MAX) return RC_SIZE_TOO_LARGE;
    *size = uint32_t(text->size());
    return RC_OK;
}

}  // namespace

bool map_is_map_component(std::string_view source, std::string_view map_base) {
    // Only a source ending in ".map" has that extension; the others are told
    // without taking the path apart.
    if (!text_ends_with_nocase(source, ".map")) return false;
    PathParts parts = path_split(source);
    return text_equal_nocase(parts.base, map_base) && text_equal_nocase(parts.extension, "map");
}

ResultCode map_file_write(RunContext* run, Namespace* reader_namespace, BiList* groups,
                          std::string_view map_base, const PathParts* out, int indent,
                          bool check_block_allocation, bool keep_old) {
    RuntimeContext* rt = run->runtime;
    if (!groups || !rt_usable(rt)) return RC_NO_OBJECT;
    MapComponent map;
    bool missing = report_missing(run, groups, map_base, indent, &map);
    ResultCode result = missing ? RC_FILE_NOT_FOUND : RC_OK;
    if (!out) return result;

    uint32_t first_size = field_number_value(rt, component_size(map.component, false));
    uint32_t size = 0;
    std::string text;
    ResultCode code = render_table(rt, groups, run->options.os_code, &text, &size);
    // The map file lists itself: its entry must equal the size it ends up
    // with, which may take more than one rendering when the digits change.
    // The file itself is written once, when the text has settled.
    for (int round = 0; code == RC_OK && map.component; ++round) {
        uint32_t recorded = field_number_value(rt, component_size(map.component, false));
        if (recorded == size) break;
        if (round == MOST_REWRITES) return RC_OS_ERROR;  // never settles: give up, not loop
        engine_report_size_change(run->log, indent, field_text(rt, component_source(map.component)),
                                  recorded, size);
        Value made = field_number(rt, size);
        if (!made) return RC_NO_OBJECT;
        if ((code = component_set_size(rt, map.component, made, false)) != RC_OK) {
            value_release(rt, made);
            return code;
        }
        if ((code = group_rebuild_volume_map(rt, reader_namespace, map.group)) != RC_OK)
            return code;
        code = render_table(rt, groups, run->options.os_code, &text, &size);
    }
    if (code == RC_OK) code = text_file_replace(*out, text, keep_old, nullptr);
    if (code != RC_OK) return code;

    if (check_block_allocation && map.component &&
        media_round_to_cluster(first_size, run->options.cluster_size) !=
            media_round_to_cluster(size, run->options.cluster_size)) {
        std::string_view source = field_text(rt, component_source(map.component));
        engine_report_text(run->log, indent, source,
                           "Block allocation has changed.\nPlease run Diskward again.");
        return RC_MAP_FILE_SIZE_CHANGED;
    }
    return result;
}

ResultCode map_clear_assignment(RuntimeContext* rt, BiList* groups, bool* had) {
    *had = false;
    for (GroupComponent gc : group_components(groups)) {
        SystemComponent* system = component_system(gc.component);
        *had = *had || component_compress(gc.component) ||
               system_component_start_disk(rt, system) != 0 ||
               system_component_total_disks(rt, system) != 0;
        ResultCode rc = component_set_compress(rt, gc.component, false);
        if (rc == RC_OK) rc = system_component_set_start_disk(rt, system, 0);
        if (rc == RC_OK) rc = system_component_set_total_disks(rt, system, 0);
        if (rc != RC_OK) return rc;
    }
    return RC_OK;
}

ResultCode map_reading_open(RunContext* run, Value product, const PathParts& map,
                            MapReading* reading) {
    RuntimeContext* rt = run->runtime;
    reading->error_line = NO_LINE;
    if (!script_file_open(rt, map.absolute, map.base, map.extension, &reading->file))
        return RC_UNABLE_TO_READ;
    reading->groups = group_list_read(rt, reading->file.reader, product, run->options.os_code);
    reading->error_line = int32_t(reader_line(rt, reading->file.reader));
    // A map file that could not be read whole is never taken for a shorter
    // one: its rows past the failure would be lost.
    ResultCode result = reader_failure(rt, reading->file.reader);
    if (result != RC_OK)
        reading->error_line = NO_LINE;
    else if (!reading->groups)
        result = RC_UNABLE_TO_PARSE;
    else if (bilist_is_empty(rt, reading->groups))
        result = RC_EMPTY;
    else
        reading->error_line = NO_LINE;
    return result;
}

void map_reading_close(RuntimeContext* rt, MapReading* reading) {
    group_list_destroy(rt, reading->groups);
    reading->groups = nullptr;
    script_file_close(rt, &reading->file);
}
