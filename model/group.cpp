// Groups: records, volume maps and equality.
#include "model/group.h"

#include "media/volume_map.h"
#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/namespaces.h"
#include "runtime/reader.h"
#include "runtime/values.h"
#include "sys/text.h"

namespace {

// Destinations are expanded with one limit for the volume map.
constexpr size_t EXPAND_LIMIT = 1024;

// Counts the component's size in `map`. RC_NO_OBJECT when memory runs out;
// a size that would carry the map past 32 bits is left out of it (the map
// stays as it was) and answers RC_OK, so that such a file still reads.
ResultCode add_to_map(RuntimeContext* rt, Namespace* ns, Value map, Value component) {
    char expanded[EXPAND_LIMIT + 1];
    // A failed expansion still counts the size under the text expanded so far.
    text_expand(rt, ns, field_text(rt, component_destination(component)), expanded, EXPAND_LIMIT);
    ResultCode rc =
        volume_map_add(rt, map, expanded, field_number_value(rt, component_size(component, false)));
    return rc == RC_OS_ERROR ? RC_OK : rc;
}

ResultCode release_hook(RuntimeContext* rt, Value v) {
    return group_destroy(rt, v);
}
bool equal_hook(RuntimeContext* rt, Value a, Value b) {
    return group_equal(rt, a, b);
}
// Groups order by the bytes they need.
bool greater_hook(RuntimeContext* rt, Value a, Value b) {
    Group* x = group_record(a);
    Group* y = group_record(b);
    return x && y && volume_map_total(rt, x->volume_map) > volume_map_total(rt, y->volume_map);
}

}  // namespace

ResultCode group_register(RuntimeContext* rt) {
    ValueTypeOps ops{release_hook, group_copy, equal_hook, greater_hook};
    return value_register_type(rt, VT_GROUP, ops);
}

Value group_create(RuntimeContext* rt, Value name, Value text1, Value text2, Value owner) {
    Value block = value_alloc(rt, sizeof(Group));
    Value map = block ? volume_map_new(rt) : 0;
    BiList* components = map ? bilist_new(rt, 0) : nullptr;
    if (!components) {
        if (map) volume_map_free(rt, map);
        if (block) value_free(rt, block);
        value_release(rt, text1);
        value_release(rt, text2);
        return 0;
    }
    *value_record<Group>(block) = Group{name, text1, text2, owner, map, components};
    return value_set_type(rt, VT_GROUP, block, false);
}

Value group_copy(RuntimeContext* rt, Namespace* ns, Value group) {
    Group* g = group_record(group);
    if (!g || !rt_usable(rt)) return 0;
    Value name = ns ? ns_intern_name(rt, ns, field_text(rt, g->name)) : g->name;
    Value text1 = field_copy(rt, g->text1), text2 = field_copy(rt, g->text2);
    // The copy is whole or nothing: any part that could not be made fails it.
    if ((ns && !name) || (value_is_real(g->text1) && !text1) ||
        (value_is_real(g->text2) && !text2)) {
        value_release(rt, text1);
        value_release(rt, text2);
        return 0;
    }
    Value made = group_create(rt, name, text1, text2, g->owner);
    Group* m = group_record(made);
    if (!m) return 0;
    Value map = volume_map_copy(rt, g->volume_map);
    bool ok = map != 0;
    if (ok) {
        volume_map_free(rt, m->volume_map);
        m->volume_map = map;
    }
    for (BiNode* n = g->components->first; ok && n; n = n->next) {
        Value copy = component_copy(rt, n->value);
        ok = copy && bilist_push_back(rt, m->components, copy) == RC_OK;
        if (!ok && copy) component_destroy(rt, copy);
    }
    if (ok) return made;
    group_destroy(rt, made);
    return 0;
}

ResultCode group_destroy(RuntimeContext* rt, Value group) {
    Group* g = group_record(group);
    if (!g || !rt_usable(rt)) return RC_NO_OBJECT;
    value_release(rt, g->text1);
    value_release(rt, g->text2);
    volume_map_free(rt, g->volume_map);
    bilist_destroy(rt, g->components, component_destroy);
    return value_free(rt, value_unbox(group));
}

Group* group_record(Value group) {
    return value_is_real(group) ? value_record<Group>(value_unbox(group)) : nullptr;
}

Value group_name(Value group) {
    return group_record(group) ? group_record(group)->name : 0;
}

ResultCode group_add_component(RuntimeContext* rt, Namespace* reader_namespace, Value group,
                               Value component) {
    Group* g = group_record(group);
    if (!g || !component || !rt_usable(rt)) return RC_NO_OBJECT;
    ResultCode rc = add_to_map(rt, reader_namespace, g->volume_map, component);
    if (rc == RC_OK) rc = bilist_push_back(rt, g->components, component);
    return rc;
}

ResultCode group_rebuild_volume_map(RuntimeContext* rt, Namespace* reader_namespace, Value group) {
    Group* g = group_record(group);
    if (!g || !rt_usable(rt)) return RC_NO_OBJECT;
    Value map = volume_map_new(rt);
    if (!map) return RC_NO_OBJECT;
    for (BiNode* n = g->components->first; n; n = n->next) {
        ResultCode rc = add_to_map(rt, reader_namespace, map, n->value);
        if (rc != RC_OK) {
            volume_map_free(rt, map);  // the former map stays
            return rc;
        }
    }
    volume_map_free(rt, g->volume_map);
    g->volume_map = map;
    return RC_OK;
}

bool group_equal(RuntimeContext* rt, Value a, Value b) {
    if (a == b) return true;
    Group* x = group_record(a);
    Group* y = group_record(b);
    if (!x || !y) return false;
    return text_equal_nocase(field_text(rt, x->name), field_text(rt, y->name)) &&
           text_equal_nocase(field_text(rt, x->text1), field_text(rt, y->text1)) &&
           text_equal_nocase(field_text(rt, x->text2), field_text(rt, y->text2)) &&
           bilist_equal(rt, x->components, y->components, component_equal);
}

void group_list_destroy(RuntimeContext* rt, BiList* groups) {
    if (groups) bilist_destroy(rt, groups, group_destroy);
}
