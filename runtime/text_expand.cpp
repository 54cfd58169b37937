// Expansion of %name% references in texts, from the definitions of a
// namespace and its ancestors.
#include <algorithm>
#include <cstring>

#include "runtime/booleans.h"
#include "runtime/namespaces.h"
#include "runtime/numbers.h"
#include "runtime/reader.h"
#include "runtime/registry_objects.h"
#include "runtime/strings.h"
#include "runtime/values.h"

namespace {

// The output of an expansion: `limit` characters at most, then a terminator.
struct Output {
    char* chars;
    size_t count;
    size_t limit;
};

// Appends what fits; false when not all of `text` did.
bool put(Output* out, std::string_view text) {
    size_t room = out->limit - out->count;
    size_t taken = std::min(room, text.size());
    std::memcpy(out->chars + out->count, text.data(), taken);
    out->count += taken;
    return taken == text.size();
}

// Room for a number's digits or a type's name.
constexpr size_t SCRATCH_SIZE = 16;

// Appends the text that stands for a bound value, chosen by its type.
bool put_bound(RuntimeContext* rt, Output* out, Value bound) {
    uint32_t type = value_type(bound);
    Value u = value_unbox(bound);
    char scratch[SCRATCH_SIZE];
    switch (type) {
        case VT_STRING:
            return put(out, string_view_of(rt, u));
        case VT_NUMBER:
        case VT_VOLUMEMAP:
            return put(out, {scratch, number_text(rt, u, scratch, sizeof scratch, false, "", "")});
        case VT_BOOLEAN:
            return put(out, bool_text(u));
        case VT_ATOM:
            return put(out, "'") && put(out, string_view_of(rt, u));
        case VT_REGISTRY:
            return put(out, string_view_of(rt, registry_key_path(rt, u)));
        case VT_GROUP:
        case VT_PRODUCT:
            if (rt->print_ops[type].name)
                return put(out, string_view_of(rt, rt->print_ops[type].name(rt, u)));
            break;
        default:
            break;
    }
    return put(out, {scratch, value_type_name(rt, bound, scratch, sizeof scratch)});
}

// The value `name` is bound to in `ns` or an ancestor; 0 when none. The
// name is interned in `ns` on the way.
Value bound_value(RuntimeContext* rt, Namespace* ns, std::string_view name) {
    Value interned = ns_intern_name(rt, ns, name);
    if (!interned) return 0;
    return ns_lookup(rt, ns, interned, symbol_text_hash, symbol_text_match);
}

// Appends what stands for the reference from the "%" at `percent` to the
// one at `close` (the end of the text for a reference never closed).
bool put_reference(RuntimeContext* rt, Namespace* ns, Output* out, std::string_view text,
                   size_t percent, size_t close) {
    if (close == percent + 1) return put(out, "%");
    std::string_view whole = text.substr(percent, close + 1 - percent);
    if (close == text.size()) return put(out, whole);
    Value bound = bound_value(rt, ns, text.substr(percent + 1, close - percent - 1));
    return bound ? put_bound(rt, out, bound) : put(out, whole);
}

ResultCode finish(Output* out, ResultCode rc) {
    out->chars[out->count] = '\0';
    return rc;
}

}  // namespace

ResultCode text_expand(RuntimeContext* rt, Namespace* ns, std::string_view text, char* out,
                       size_t limit) {
    if (!out) return RC_NO_OBJECT;
    Output output{out, 0, limit};
    if (!rt_usable(rt)) return finish(&output, RC_NO_OBJECT);
    size_t at = 0;
    while (at < text.size()) {
        size_t percent = text.find('%', at);
        if (!put(&output, text.substr(at, percent - at))) return finish(&output, RC_TEXT_TOO_LONG);
        if (percent == std::string_view::npos) break;
        if (percent + 1 == text.size()) return finish(&output, RC_EXPAND_PERCENT_AT_END);
        size_t close = text.find('%', percent + 1);
        // A reference that is never closed is copied as it stands.
        if (close == std::string_view::npos) close = text.size();
        if (!put_reference(rt, ns, &output, text, percent, close))
            return finish(&output, RC_TEXT_TOO_LONG);
        at = close + 1;
    }
    return finish(&output, RC_OK);
}
