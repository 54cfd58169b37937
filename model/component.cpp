// Components: creation, copy, release, fields and equality.
#include "model/component.h"

#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/strings.h"
#include "runtime/values.h"
#include "sys/text.h"

Value component_create(RuntimeContext* rt, Value subgroup, Value source, Value destination,
                       Value size, Value instantiate, Value append, Value compress,
                       SystemComponent* system) {
    Value block = value_alloc(rt, sizeof(Component));
    if (!block) {
        for (Value v : {subgroup, source, destination, size}) value_release(rt, v);
        system_component_destroy(rt, system);
        return 0;
    }
    Component* c = value_record<Component>(block);
    *c = Component{subgroup,    source,        destination, size,   0, instantiate == 1,
                   append == 1, compress == 1, nullptr,     system, 0};
    field_normalise_path(rt, c->source);
    field_normalise_path(rt, c->destination);
    return block;
}

Value component_copy(RuntimeContext* rt, Value component) {
    Component* c = component_record(component);
    if (!rt_usable(rt) || !c) return 0;
    const Value fields[] = {c->subgroup, c->source, c->destination, c->size};
    Value copies[4];
    bool complete = true;
    for (int i = 0; i < 4; ++i) {
        copies[i] = field_copy(rt, fields[i]);
        if (field_copy_failed(fields[i], copies[i])) complete = false;
    }
    SystemComponent* system = complete ? system_component_copy(rt, c->system) : nullptr;
    // The copy is whole or nothing: any part that could not be made fails it.
    if (!complete || (!system && c->system)) {
        for (Value v : copies) value_release(rt, v);
        return 0;
    }
    Value made = component_create(rt, copies[0], copies[1], copies[2], copies[3], c->instantiate,
                                  c->append, c->compress, system);
    Component* m = component_record(made);
    if (!m) return 0;
    for (BiNode* n = c->segments ? c->segments->first : nullptr; complete && n; n = n->next) {
        Value segment = field_copy(rt, n->value);
        complete = !field_copy_failed(n->value, segment) &&
                   component_add_segment(rt, made, segment) == RC_OK;
        if (!complete) value_release(rt, segment);
    }
    if (complete) return made;
    component_destroy(rt, made);
    return 0;
}

ResultCode component_destroy(RuntimeContext* rt, Value component) {
    Component* c = component_record(component);
    if (!c || !rt_usable(rt)) return RC_NO_OBJECT;
    for (Value v : {c->subgroup, c->source, c->destination, c->size, c->stored_size})
        value_release(rt, v);
    bilist_destroy(rt, c->segments, value_release);
    system_component_destroy(rt, c->system);
    return value_free(rt, component);
}

Component* component_record(Value component) {
    return value_is_real(component) ? value_record<Component>(component) : nullptr;
}

Value component_source(Value c) {
    return component_record(c) ? component_record(c)->source : 0;
}
Value component_destination(Value c) {
    return component_record(c) ? component_record(c)->destination : 0;
}

Value component_size(Value component, bool stored) {
    Component* c = component_record(component);
    if (!c) return 0;
    return stored ? c->stored_size : c->size;
}

bool component_instantiate(Value c) {
    return component_record(c) && component_record(c)->instantiate == 1;
}
bool component_compress(Value c) {
    return component_record(c) && component_record(c)->compress == 1;
}
SystemComponent* component_system(Value c) {
    return component_record(c) ? component_record(c)->system : nullptr;
}
BiList* component_segments(Value c) {
    return component_record(c) ? component_record(c)->segments : nullptr;
}
bool component_processed(Value c) {
    return component_record(c) && component_record(c)->processed;
}
struct timespec component_modified(Value c) {
    return component_record(c) ? component_record(c)->modified : timespec{};
}

struct timespec component_changed(Value c) {
    return component_record(c) ? component_record(c)->changed : timespec{};
}

ResultCode component_set_size(RuntimeContext* rt, Value component, Value number, bool stored) {
    Component* c = component_record(component);
    if (!c || !rt_usable(rt)) return RC_NO_OBJECT;
    Value* field = stored ? &c->stored_size : &c->size;
    value_release(rt, *field);
    *field = number;
    return RC_OK;
}

ResultCode component_set_compress(RuntimeContext* rt, Value component, bool on) {
    Component* c = component_record(component);
    if (!c || !rt_usable(rt)) return RC_NO_OBJECT;
    c->compress = on ? 1 : 0;
    return RC_OK;
}

ResultCode component_add_segment(RuntimeContext* rt, Value component, Value number) {
    Component* c = component_record(component);
    if (!c) return RC_NO_OBJECT;
    // The list is made with the first segment: most components are never
    // split, and a large map then holds no empty list per row.
    if (!c->segments && !(c->segments = bilist_new(rt, 0))) return RC_NO_OBJECT;
    return bilist_push_back(rt, c->segments, number);
}

ResultCode component_mark_processed(Value component, const struct timespec& modified,
                                    const struct timespec& changed) {
    Component* c = component_record(component);
    if (!c) return RC_NO_OBJECT;
    c->processed = 1;
    c->modified = modified;
    c->changed = changed;
    return RC_OK;
}

bool component_equal(RuntimeContext* rt, Value a, Value b) {
    if (a == b) return true;
    Component* x = component_record(a);
    Component* y = component_record(b);
    if (!x || !y) return false;
    return text_equal_nocase(field_text(rt, x->subgroup), field_text(rt, y->subgroup)) &&
           text_equal_nocase(field_text(rt, x->source), field_text(rt, y->source)) &&
           text_equal_nocase(field_text(rt, x->destination), field_text(rt, y->destination)) &&
           field_number_value(rt, x->size) == field_number_value(rt, y->size) &&
           x->instantiate == y->instantiate && x->append == y->append &&
           x->compress == y->compress && system_component_equal(rt, x->system, y->system);
}
