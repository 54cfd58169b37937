// Components: one row of a map file, naming one file of a product with its
// source in the staging area, destination, size, installation flags, disk
// segments and operating-system columns.
#pragma once

#include <ctime>

#include "model/system_columns.h"
#include "runtime/runtime_context.h"

struct BiList;

struct Component {
    Value subgroup;     // string
    Value source;       // string, "/" turned into "\" and trailing blanks cut
    Value destination;  // string, normalised like `source`
    Value size;         // number
    Value stored_size;  // number or 0: the size on the media, set by compression
    Value instantiate;  // 1 or 0
    Value append;       // 1 or 0
    Value compress;     // 1 or 0
    BiList* segments;   // numbers: per-disk byte counts of a split file, or none
    SystemComponent* system;
    uint32_t processed;             // 1 once the staging-area check found the file
    struct timespec modified = {};  // the found file's modification time
    struct timespec changed = {};   // and its status-change time
};

// Takes ownership of the values; the component (a plain block) or 0, with
// the values released.
Value component_create(RuntimeContext* rt, Value subgroup, Value source, Value destination,
                       Value size, Value instantiate, Value append, Value compress,
                       SystemComponent* system);
// A copy with copies of its strings, numbers, segments and system columns
// (the stored size and the processed mark start afresh); 0 when any part
// cannot be copied, nothing of the copy then being left.
Value component_copy(RuntimeContext* rt, Value component);
ResultCode component_destroy(RuntimeContext* rt, Value component);

Component* component_record(Value component);
Value component_source(Value component);
Value component_destination(Value component);
// `stored_size` when `stored` is set, else `size`.
Value component_size(Value component, bool stored);
bool component_instantiate(Value component);
bool component_compress(Value component);
SystemComponent* component_system(Value component);
// The segment list; nullptr while the component has no segments.
BiList* component_segments(Value component);
bool component_processed(Value component);
// The modification and status-change times of the file the check found;
// zero when not found.
struct timespec component_modified(Value component);
struct timespec component_changed(Value component);

// Replace the value (taking ownership) and release the old one.
ResultCode component_set_size(RuntimeContext* rt, Value component, Value number, bool stored);
ResultCode component_set_compress(RuntimeContext* rt, Value component, bool on);
ResultCode component_add_segment(RuntimeContext* rt, Value component, Value number);
// Marks the component's file found, modified at `modified`, its status
// changed at `changed`.
ResultCode component_mark_processed(Value component, const struct timespec& modified = {},
                                    const struct timespec& changed = {});

bool component_equal(RuntimeContext* rt, Value a, Value b);
