// The runtime context, value blocks, header words and interned boxes.
#include "runtime/runtime_context.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Every block starts with 4 bytes of padding and the 32-bit header, so that
// the body after it is aligned for pointer-sized words.
constexpr uintptr_t BLOCK_PREFIX = 8;
constexpr uint32_t BLOCK_LIMIT = 65536;

uint32_t* header_of(Value v) {
    return reinterpret_cast<uint32_t*>(v - VALUE_HEADER_BYTES);
}
// The padding word in front of the header: the block's size class in the
// pool, or 0 for a block of its own from the C library.
uint32_t* size_class_of(Value v) {
    return reinterpret_cast<uint32_t*>(v - BLOCK_PREFIX);
}

// The pool: blocks of up to 256 bytes (prefix included) in 16-byte classes,
// carved from 64 KiB slabs and kept on free lists when released, so that the
// many small values of a large table cost no call to the allocator each.
// Builds with the address sanitizer give every block its own allocation, so
// that leaks and late uses of single values stay visible.
constexpr uint32_t POOL_GRANULE = 16;
constexpr uint32_t POOL_CLASSES = 16;
constexpr size_t POOL_SLAB = 65536;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool POOL_ON = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool POOL_ON = false;
#else
constexpr bool POOL_ON = true;
#endif
#else
constexpr bool POOL_ON = true;
#endif

void* pool_take(RuntimeContext* rt, uint32_t size_class) {
    void*& head = rt->pool_free[size_class - 1];
    if (head) {
        void* block = head;
        head = *static_cast<void**>(block);
        return block;
    }
    size_t bytes = size_t(size_class) * POOL_GRANULE;
    if (rt->pool_end - rt->pool_cursor < std::ptrdiff_t(bytes)) {
        char* slab = static_cast<char*>(std::malloc(POOL_SLAB));
        if (!slab) return nullptr;
        *reinterpret_cast<void**>(slab) = rt->pool_slabs;
        rt->pool_slabs = slab;
        rt->pool_cursor = slab + POOL_GRANULE;  // the first granule links the slabs
        rt->pool_end = slab + POOL_SLAB;
    }
    void* block = rt->pool_cursor;
    rt->pool_cursor += bytes;
    return block;
}

void block_release(RuntimeContext* rt, Value v) {
    uint32_t size_class = *size_class_of(v);
    void* block = reinterpret_cast<void*>(v - BLOCK_PREFIX);
    if (size_class == 0) {
        std::free(block);
        return;
    }
    *static_cast<void**>(block) = rt->pool_free[size_class - 1];
    rt->pool_free[size_class - 1] = block;
}

void free_intern_list(RuntimeContext* rt, InternEntry* entry) {
    while (entry) {
        InternEntry* next = entry->next;
        block_release(rt, entry->box);
        delete entry;
        entry = next;
    }
}

// Finds the box of `payload` in an intern list, or appends a new one whose
// header is `header`.
Value intern_box(RuntimeContext* rt, InternEntry** head, Value payload, uint32_t header) {
    InternEntry** link = head;
    for (; *link; link = &(*link)->next)
        if ((*link)->payload == payload) return (*link)->box;
    Value box = value_alloc(rt, sizeof(Value));
    if (!box) return 0;
    InternEntry* entry = new (std::nothrow) InternEntry{payload, box, nullptr};
    if (!entry) {
        value_free(rt, box);
        return 0;
    }
    *header_of(box) = header;
    *value_record<Value>(box) = payload;
    *link = entry;
    return box;
}

}  // namespace

RuntimeContext* rt_create() {
    // Value-initialised: every list head, the state and the hooks start at 0.
    return new (std::nothrow) RuntimeContext{};
}

ResultCode rt_destroy(RuntimeContext* rt) {
    if (!rt) return RC_OK;
    for (int slot = 0; slot < 16; ++slot) {
        free_intern_list(rt, rt->type_boxes[slot]);
        free_intern_list(rt, rt->kind_boxes[slot]);
    }
    for (void* slab = rt->pool_slabs; slab;) {
        void* next = *static_cast<void**>(slab);
        std::free(slab);
        slab = next;
    }
    delete rt;
    return RC_OK;
}

ResultCode value_register_type(RuntimeContext* rt, uint32_t type, const ValueTypeOps& ops) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (type != VT_GROUP && type != VT_PRODUCT && type != VT_VOLUMEMAP) return RC_NO_OBJECT;
    rt->type_ops[type] = ops;
    return RC_OK;
}

Value value_alloc(RuntimeContext* rt, uint32_t size) {
    if (!rt_usable(rt)) return 0;
    if (uint64_t(size) + VALUE_HEADER_BYTES >= BLOCK_LIMIT) return 0;
    if (rt->limit_allocations) {
        if (rt->allocations_left == 0) return 0;
        --rt->allocations_left;
    }
    size_t total = BLOCK_PREFIX + size;
    uint32_t size_class = uint32_t((total + POOL_GRANULE - 1) / POOL_GRANULE);
    if (!POOL_ON || size_class > POOL_CLASSES) size_class = 0;
    void* block = size_class ? pool_take(rt, size_class) : std::malloc(total);
    if (!block) return 0;
    Value v = reinterpret_cast<Value>(block) + BLOCK_PREFIX;
    *size_class_of(v) = size_class;
    *header_of(v) = 0;
    return v;
}

ResultCode value_free(RuntimeContext* rt, Value block) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(block)) return RC_OK;
    block_release(rt, block);
    return RC_OK;
}

Value value_set_type(RuntimeContext* rt, uint32_t type, Value v, bool share) {
    if (!rt_usable(rt)) return 0;
    type &= VALUE_TYPE_BITS;
    if (share || !value_is_real(v))
        return intern_box(rt, &rt->type_boxes[type], v, type | VALUE_BOXED);
    uint32_t* header = header_of(v);
    *header = (*header & VALUE_KIND_BITS) | type;
    return v;
}

Value value_set_kind(RuntimeContext* rt, uint32_t kind, Value v, bool share) {
    if (!rt_usable(rt)) return 0;
    kind &= VALUE_TYPE_BITS;
    if (share || !value_is_real(v))
        return intern_box(rt, &rt->kind_boxes[kind], v, (kind << 4) | VALUE_BOXED);
    uint32_t* header = header_of(v);
    *header = (*header & VALUE_TYPE_BITS) | (kind << 4);
    return v;
}

Value value_failure(RuntimeContext* rt) {
    return value_set_type(rt, VT_FAILURE, 0, true);
}
Value value_optional(RuntimeContext* rt) {
    return value_set_type(rt, VT_OPTIONAL, 0, true);
}
Value value_any(RuntimeContext* rt) {
    return value_set_type(rt, VT_ANY, 0, true);
}

Value value_boolean(RuntimeContext* rt, Value b) {
    return value_set_type(rt, VT_BOOLEAN, b == 1 ? 1 : 0, true);
}

Value value_atom(RuntimeContext* rt, Value atom) {
    if (!atom) return 0;
    return value_set_type(rt, VT_ATOM, atom, true);
}
