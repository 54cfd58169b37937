// Volume maps: construction, accumulation per volume, arithmetic and the
// space check.
#include "media/volume_map.h"

#include <cstring>

#include "runtime/values.h"
#include "sys/text.h"

std::string_view volume_map_label(const VolumeMapElement* e) {
    return {reinterpret_cast<const char*>(e + 1), e->label_length};
}

namespace {

VolumeMap* map_of(Value map) {
    return value_is_real(map) ? value_record<VolumeMap>(value_unbox(map)) : nullptr;
}

void element_free(RuntimeContext* rt, VolumeMapElement* e) {
    value_free(rt, reinterpret_cast<Value>(e));
}

// A new element holding a copy of `label`, or nullptr when memory runs out
// or the label is too long for one block (a block stays below 64 KiB, so a
// label that fits has a 16-bit length).
VolumeMapElement* element_new(RuntimeContext* rt, std::string_view label, uint32_t amount) {
    if (label.size() >= 65536) return nullptr;  // before the size is narrowed
    Value block = value_alloc(rt, uint32_t(sizeof(VolumeMapElement) + label.size()));
    if (!block) return nullptr;
    auto* e = value_record<VolumeMapElement>(block);
    *e = VolumeMapElement{nullptr, amount, uint16_t(label.size())};
    if (!label.empty()) std::memcpy(reinterpret_cast<char*>(e + 1), label.data(), label.size());
    return e;
}

// Appends at the tail `*tail` points to; false when memory runs out.
bool append(RuntimeContext* rt, VolumeMap* m, VolumeMapElement*** tail, std::string_view label,
            uint32_t amount) {
    VolumeMapElement* e = element_new(rt, label, amount);
    if (!e) return false;
    **tail = e;
    *tail = &e->next;
    ++m->count;
    return true;
}

bool add_overflows(uint32_t a, uint32_t b) {
    return a > UINT32_MAX - b;
}

// Maps of fewer elements take each new one straight into the list.
constexpr uint32_t LIST_WALK_LIMIT = 16;

int label_order(const VolumeMapElement* a, const VolumeMapElement* b) {
    return text_compare_nocase(volume_map_label(a), volume_map_label(b));
}

// Sorts a chain by label; elements of equal labels keep their order.
VolumeMapElement* sort_chain(VolumeMapElement* head, uint32_t length) {
    if (length < 2) return head;
    VolumeMapElement* second = head;
    for (uint32_t i = 1; i < length / 2; ++i) second = second->next;
    VolumeMapElement* rest = second->next;
    second->next = nullptr;
    VolumeMapElement* a = sort_chain(head, length / 2);
    VolumeMapElement* b = sort_chain(rest, length - length / 2);
    VolumeMapElement* sorted = nullptr;
    VolumeMapElement** tail = &sorted;
    while (a && b) {
        VolumeMapElement** from = label_order(b, a) < 0 ? &b : &a;
        *tail = *from;
        tail = &(*from)->next;
        *from = (*from)->next;
    }
    *tail = a ? a : b;
    return sorted;
}

// Joins the pending elements into the list in label order. An element whose
// label is already there gives its amount to the one there (which keeps its
// spelling) and goes; among pending ones of one label the earliest stays.
void settle(RuntimeContext* rt, VolumeMap* m) {
    if (!m->pending) return;
    VolumeMapElement* added = nullptr;  // pending, oldest first
    for (VolumeMapElement* e = m->pending; e;) {
        VolumeMapElement* next = e->next;
        e->next = added;
        added = e;
        e = next;
    }
    added = sort_chain(added, m->pending_count);
    VolumeMapElement* a = m->elements;
    VolumeMapElement* joined = nullptr;
    VolumeMapElement** tail = &joined;
    VolumeMapElement* kept = nullptr;  // the newest element of the joined list
    uint32_t count = 0;
    while (a || added) {
        // On equal labels the list's element comes first.
        VolumeMapElement** from = !added || (a && label_order(a, added) <= 0) ? &a : &added;
        VolumeMapElement* e = *from;
        *from = e->next;
        if (kept && label_order(kept, e) == 0) {
            kept->amount += e->amount;
            element_free(rt, e);
            continue;
        }
        *tail = e;
        tail = &e->next;
        kept = e;
        ++count;
    }
    *tail = nullptr;
    m->elements = joined;
    m->count = count;
    m->pending = nullptr;
    m->pending_count = 0;
    m->last = nullptr;
}

// The map of a value with its elements in order.
VolumeMap* settled_map_of(RuntimeContext* rt, Value map) {
    VolumeMap* m = map_of(map);
    if (m) settle(rt, m);
    return m;
}

// Applies `op` to the total and every amount of a copy of `map`. `op`
// answers false when a value leaves the 32-bit range.
template <typename Op>
Value transform(RuntimeContext* rt, Value map, Op op) {
    VolumeMap* source = settled_map_of(rt, map);
    if (!source) return 0;
    Value made = volume_map_new(rt);
    VolumeMap* m = map_of(made);
    if (!m) return 0;
    VolumeMapElement** tail = &m->elements;
    bool ok = op(source->total, &m->total);
    for (VolumeMapElement* e = source->elements; ok && e; e = e->next) {
        uint32_t amount = 0;
        ok = op(e->amount, &amount) && append(rt, m, &tail, volume_map_label(e), amount);
    }
    if (ok) return made;
    volume_map_free(rt, made);
    return 0;
}

// Merges two maps in label order, adding or subtracting equal labels.
Value merge(RuntimeContext* rt, Value a, Value b, bool subtract) {
    VolumeMap* ma = settled_map_of(rt, a);
    VolumeMap* mb = settled_map_of(rt, b);
    if (!ma || !mb) return 0;
    if (subtract ? ma->total < mb->total : add_overflows(ma->total, mb->total)) return 0;
    Value made = volume_map_new(rt);
    VolumeMap* m = map_of(made);
    if (!m) return 0;
    m->total = subtract ? ma->total - mb->total : ma->total + mb->total;
    VolumeMapElement** tail = &m->elements;
    const VolumeMapElement *x = ma->elements, *y = mb->elements;
    bool ok = true;
    while (ok && (x || y)) {
        int order = !x   ? 1
                    : !y ? -1
                         : text_compare_nocase(volume_map_label(x), volume_map_label(y));
        if (order < 0) {
            ok = append(rt, m, &tail, volume_map_label(x), x->amount);
            x = x->next;
        } else if (order > 0) {
            // A volume only the second map has cannot be taken away.
            ok = !subtract && append(rt, m, &tail, volume_map_label(y), y->amount);
            y = y->next;
        } else {
            ok = subtract ? x->amount >= y->amount : !add_overflows(x->amount, y->amount);
            if (ok)
                ok = append(rt, m, &tail, volume_map_label(x),
                            subtract ? x->amount - y->amount : x->amount + y->amount);
            x = x->next;
            y = y->next;
        }
    }
    if (ok) return made;
    volume_map_free(rt, made);
    return 0;
}

// Grows or shrinks every element by its share of `amount`.
Value spread(RuntimeContext* rt, Value map, uint32_t amount, bool grow) {
    VolumeMap* source = settled_map_of(rt, map);
    if (!source || source->total == 0) return 0;
    if (grow ? add_overflows(source->total, amount) : source->total < amount) return 0;
    Value made = volume_map_new(rt);
    VolumeMap* m = map_of(made);
    if (!m) return 0;
    m->total = grow ? source->total + amount : source->total - amount;
    VolumeMapElement** tail = &m->elements;
    uint64_t given = 0;
    bool ok = true;
    for (VolumeMapElement* e = source->elements; ok && e; e = e->next) {
        uint64_t share = e->next ? uint64_t(amount) * e->amount / source->total : amount - given;
        given += share;
        ok = grow ? uint64_t(e->amount) + share <= UINT32_MAX : share <= e->amount;
        if (ok)
            ok = append(rt, m, &tail, volume_map_label(e),
                        uint32_t(grow ? e->amount + share : e->amount - share));
    }
    if (ok) return made;
    volume_map_free(rt, made);
    return 0;
}

ResultCode release_hook(RuntimeContext* rt, Value v) {
    return volume_map_free(rt, v);
}
Value copy_hook(RuntimeContext* rt, Namespace*, Value v) {
    return volume_map_copy(rt, v);
}

// The volume root of a path: up to and including its first ":", then "\";
// a path without ":" is its own label, seen in place. A root is built in
// `root`, which the label then views.
std::string_view volume_label_of(std::string_view path, std::string* root) {
    size_t colon = path.find(':');
    if (colon == std::string_view::npos) return path;
    root->assign(path.substr(0, colon + 1));
    root->push_back('\\');
    return *root;
}

}  // namespace

ResultCode volume_map_register(RuntimeContext* rt) {
    ValueTypeOps ops{release_hook, copy_hook, nullptr, nullptr};
    return value_register_type(rt, VT_VOLUMEMAP, ops);
}

Value volume_map_new(RuntimeContext* rt) {
    Value block = value_alloc(rt, sizeof(VolumeMap));
    if (!block) return 0;
    *value_record<VolumeMap>(block) = VolumeMap{0, 0, nullptr, nullptr, 0, nullptr};
    return value_set_type(rt, VT_VOLUMEMAP, block, false);
}

ResultCode volume_map_free(RuntimeContext* rt, Value map) {
    VolumeMap* m = map_of(map);
    if (!m || !rt_usable(rt)) return RC_NO_OBJECT;
    for (VolumeMapElement* chain : {m->elements, m->pending}) {
        for (VolumeMapElement* e = chain; e;) {
            VolumeMapElement* next = e->next;
            element_free(rt, e);
            e = next;
        }
    }
    return value_free(rt, value_unbox(map));
}

Value volume_map_copy(RuntimeContext* rt, Value map) {
    return transform(rt, map, [](uint32_t in, uint32_t* out) {
        *out = in;
        return true;
    });
}

ResultCode volume_map_add(RuntimeContext* rt, Value map, std::string_view path, uint32_t amount) {
    VolumeMap* m = map_of(map);
    if (!m || !rt_usable(rt)) return RC_NO_OBJECT;
    if (amount == 0) return RC_OK;
    if (add_overflows(m->total, amount)) return RC_OS_ERROR;
    std::string root;
    std::string_view label = volume_label_of(path, &root);
    if (m->last && text_equal_nocase(volume_map_label(m->last), label)) {
        if (add_overflows(m->last->amount, amount)) return RC_OS_ERROR;
        m->last->amount += amount;
        m->total += amount;
        return RC_OK;
    }
    // A map built by adds holds no more in any element than in its total,
    // so a pending element, summed with its equals later, fits as the
    // total does. Pending elements of one label cost no more than the adds
    // that made them, and a run of adds to one label makes one.
    if (m->pending || m->count >= LIST_WALK_LIMIT) {
        VolumeMapElement* e = element_new(rt, label, amount);
        if (!e) return RC_NO_OBJECT;
        e->next = m->pending;
        m->pending = e;
        ++m->pending_count;
        m->last = e;
        m->total += amount;
        return RC_OK;
    }
    VolumeMapElement** at = &m->elements;
    while (*at && text_compare_nocase(volume_map_label(*at), label) < 0) at = &(*at)->next;
    if (*at && text_compare_nocase(volume_map_label(*at), label) == 0) {
        if (add_overflows((*at)->amount, amount)) return RC_OS_ERROR;
        (*at)->amount += amount;
    } else {
        VolumeMapElement* e = element_new(rt, label, amount);
        if (!e) return RC_NO_OBJECT;
        e->next = *at;
        *at = e;
        ++m->count;
    }
    m->last = *at;
    m->total += amount;
    return RC_OK;
}

VolumeMapElement* volume_map_elements(RuntimeContext* rt, Value map) {
    VolumeMap* m = settled_map_of(rt, map);
    return m ? m->elements : nullptr;
}

uint32_t volume_map_total(RuntimeContext*, Value map) {
    VolumeMap* m = map_of(map);
    return m ? m->total : 0;
}

uint32_t volume_map_count(RuntimeContext* rt, Value map) {
    VolumeMap* m = settled_map_of(rt, map);
    return m ? m->count : 0;
}

uint32_t volume_map_amount(RuntimeContext* rt, Value map, std::string_view path) {
    VolumeMap* m = settled_map_of(rt, map);
    if (!m) return 0;
    std::string root;
    std::string_view label = volume_label_of(path, &root);
    for (VolumeMapElement* e = m->elements; e; e = e->next)
        if (text_equal_nocase(volume_map_label(e), label)) return e->amount;
    return 0;
}

Value volume_map_sum(RuntimeContext* rt, Value a, Value b) {
    return merge(rt, a, b, false);
}
Value volume_map_difference(RuntimeContext* rt, Value a, Value b) {
    return merge(rt, a, b, true);
}

Value volume_map_product(RuntimeContext* rt, Value map, uint32_t factor) {
    return transform(rt, map, [factor](uint32_t in, uint32_t* out) {
        uint64_t r = uint64_t(in) * factor;
        *out = uint32_t(r);
        return r <= UINT32_MAX;
    });
}

Value volume_map_quotient(RuntimeContext* rt, Value map, uint32_t divisor) {
    if (divisor == 0) return 0;
    return transform(rt, map, [divisor](uint32_t in, uint32_t* out) {
        *out = in / divisor;
        return true;
    });
}

Value volume_map_grow(RuntimeContext* rt, Value map, uint32_t amount) {
    return amount == 0 ? volume_map_copy(rt, map) : spread(rt, map, amount, true);
}

Value volume_map_shrink(RuntimeContext* rt, Value map, uint32_t amount) {
    return amount == 0 ? volume_map_copy(rt, map) : spread(rt, map, amount, false);
}

bool volume_map_equal(RuntimeContext* rt, Value a, Value b) {
    VolumeMap* ma = settled_map_of(rt, a);
    VolumeMap* mb = settled_map_of(rt, b);
    if (ma == mb) return true;
    if (!ma || !mb || ma->total != mb->total || ma->count != mb->count) return false;
    for (VolumeMapElement *x = ma->elements, *y = mb->elements; x && y; x = x->next, y = y->next)
        if (x->amount != y->amount || !text_equal_nocase(volume_map_label(x), volume_map_label(y)))
            return false;
    return true;
}

ResultCode volume_map_check_space(RuntimeContext* rt, Value map, FreeBytesQuery free_bytes,
                                  void* user, std::vector<VolumeShortfall>* short_volumes,
                                  std::string* failed_label) {
    VolumeMap* m = settled_map_of(rt, map);
    if (!m || !free_bytes || !rt_usable(rt)) return RC_NO_OBJECT;
    for (VolumeMapElement* e = m->elements; e; e = e->next) {
        std::string label(volume_map_label(e));
        uint32_t free = 0;
        ResultCode code = free_bytes(user, label, &free);
        if (code != RC_OK) {
            if (failed_label) *failed_label = label;
            return code;
        }
        uint32_t held_back = e->amount / 16;
        if (free >= held_back) free -= held_back;
        if (free < e->amount && short_volumes) short_volumes->push_back({label, e->amount - free});
    }
    return RC_OK;
}
