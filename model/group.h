// Groups: the named sets of components of a map file, each with its
// volume map of bytes needed per target volume.
#pragma once

#include "model/component.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/runtime_context.h"

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

// One component of a group list, with the group that holds it.
struct GroupComponent {
    Value group;
    Value component;
};

// The components of every group of a group list, group by group in list
// order and each group's in its order, for a range-based for:
// `for (GroupComponent gc : group_components(groups))`. An absent list has
// none. Neither the list nor a group's components may change meanwhile.
struct GroupComponentRange {
    struct Iterator {
        BiNode* group = nullptr;      // the group node; nullptr at the end
        BiNode* component = nullptr;  // the component node in it; nullptr at the end
        GroupComponent operator*() const { return {group->value, component->value}; }
        Iterator& operator++() {
            component = component->next;
            settle();
            return *this;
        }
        bool operator==(const Iterator& other) const { return component == other.component; }
        // From a group whose components are used up on to the next group
        // that has one.
        void settle() {
            while (!component && group) {
                group = group->next;
                component = group ? group_record(group->value)->components->first : nullptr;
            }
        }
    };
    BiList* groups = nullptr;
    Iterator begin() const {
        if (!groups || !groups->first) return end();
        Iterator at{groups->first, group_record(groups->first->value)->components->first};
        at.settle();
        return at;
    }
    Iterator end() const { return Iterator{}; }
};
inline GroupComponentRange group_components(BiList* groups) {
    return GroupComponentRange{groups};
}

// Destroys a group list and its groups.
void group_list_destroy(RuntimeContext* rt, BiList* groups);
