// Groups: the named sets of components of a map file, each with its
// volume map of bytes needed per target volume.
#pragma once

#include "model/component.h"
#include "runtime/runtime_context.h"

struct BiList;

// A GROUP value's record.
struct Group {
    Value name;        // atom
    Value text1;       // string or 0
    Value text2;       // string or 0
    Value owner;       // the product whose map file holds the group; not owned
    Value volume_map;  // VOLUMEMAP
    BiList* components;
};

// Installs the group's release, copy, equality and order in the runtime.
ResultCode group_register(RuntimeContext* rt);

// A group (stamped GROUP) with an empty volume map and no components, or 0.
Value group_create(RuntimeContext* rt, Value name, Value text1, Value text2, Value owner);
// A deep copy (components and volume map too) whose name is interned afresh
// in `ns`; 0 when any part cannot be copied, nothing of the copy then left.
Value group_copy(RuntimeContext* rt, Namespace* ns, Value group);
ResultCode group_destroy(RuntimeContext* rt, Value group);
Group* group_record(Value group);
Value group_name(Value group);

// Counts the component's size under its expanded destination and appends
// it. RC_NO_OBJECT when memory runs out: the component is then not appended
// and stays the caller's. A size that would carry the volume map past 32
// bits is not counted.
ResultCode group_add_component(RuntimeContext* rt, Namespace* reader_namespace, Value group,
                               Value component);
// A fresh volume map from all components, in place of the old one, which
// stays when memory runs out (RC_NO_OBJECT).
ResultCode group_rebuild_volume_map(RuntimeContext* rt, Namespace* reader_namespace, Value group);
bool group_equal(RuntimeContext* rt, Value a, Value b);

// Destroys a group list and its groups.
void group_list_destroy(RuntimeContext* rt, BiList* groups);
