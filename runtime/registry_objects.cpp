// Registry objects: a key path and a value text.
#include "runtime/registry_objects.h"

#include "runtime/strings.h"
#include "sys/text.h"

namespace {

RegistryRecord* record_of(Value r) {
    return value_record<RegistryRecord>(r);
}

bool present(RuntimeContext* rt, Value r) {
    return rt_usable(rt) && value_is_real(r);
}

int key_order(RuntimeContext* rt, Value a, Value b) {
    return text_compare_nocase(string_view_of(rt, record_of(a)->key_path),
                               string_view_of(rt, record_of(b)->key_path));
}

}  // namespace

Value registry_new(RuntimeContext* rt, std::string_view key_path, std::string_view value_text) {
    Value r = value_alloc(rt, sizeof(RegistryRecord));
    if (!r) return 0;
    Value key = string_new(rt, key_path);
    Value text = string_new(rt, value_text);
    if (!key || !text) {
        string_free(rt, key);
        string_free(rt, text);
        value_free(rt, r);
        return 0;
    }
    *record_of(r) = RegistryRecord{key, text};
    return value_set_type(rt, VT_REGISTRY, r, false);
}

Value registry_copy(RuntimeContext* rt, Value r) {
    if (!present(rt, r)) return 0;
    return registry_new(rt, string_view_of(rt, record_of(r)->key_path),
                        string_view_of(rt, record_of(r)->value_text));
}

ResultCode registry_release(RuntimeContext* rt, Value r) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(r)) return RC_OK;
    string_free(rt, record_of(r)->key_path);
    string_free(rt, record_of(r)->value_text);
    return value_free(rt, r);
}

Value registry_key_path(RuntimeContext* rt, Value r) {
    return present(rt, r) ? record_of(r)->key_path : 0;
}

bool registry_equal(RuntimeContext* rt, Value a, Value b) {
    if (!present(rt, a) || !present(rt, b)) return false;
    if (a == b) return true;
    return key_order(rt, a, b) == 0 && string_view_of(rt, record_of(a)->value_text) ==
                                           string_view_of(rt, record_of(b)->value_text);
}

bool registry_greater(RuntimeContext* rt, Value a, Value b) {
    if (!present(rt, a) || !present(rt, b) || a == b) return false;
    int order = key_order(rt, a, b);
    if (order != 0) return order > 0;
    return string_view_of(rt, record_of(a)->value_text) >
           string_view_of(rt, record_of(b)->value_text);
}
