// The runtime context and the value blocks of the script data runtime: the
// 32-bit header word in front of every value, the interned boxes that give a
// type or token kind to payloads without a header, and the per-type hooks
// that later modules fill in. Needs only the C library's allocator.
#pragma once

#include <cstdint>

#include "sys/result_code.h"

using Value = uintptr_t;  // a value handle; 0 empty/false, 1 true

struct Namespace;
struct RuntimeContext;
struct TextFile;

// The fourteen value type codes (bits 0-3 of the header).
enum ValueType : uint32_t {
    VT_VOID = 0,
    VT_FAILURE = 1,
    VT_BOOLEAN = 2,
    VT_ATOM = 3,
    VT_NUMBER = 4,
    VT_VOLUMEMAP = 5,
    VT_STRING = 6,
    VT_OPTIONAL = 7,
    VT_ANY = 8,
    VT_SIGNAL = 9,
    VT_GROUP = 10,
    VT_PRODUCT = 11,
    VT_REGISTRY = 12,
    VT_LIST = 13,
};

// Operations that a later module supplies for its own value type (GROUP,
// PRODUCT, VOLUMEMAP); the generic value operations dispatch to them. A
// missing entry means: release does nothing, copy gives nothing, equal and
// greater answer false.
struct ValueTypeOps {
    ResultCode (*release)(RuntimeContext* rt, Value v);
    Value (*copy)(RuntimeContext* rt, Namespace* ns, Value v);
    bool (*equal)(RuntimeContext* rt, Value a, Value b);
    bool (*greater)(RuntimeContext* rt, Value a, Value b);
};

// The printing of a type that a later module supplies (GROUP, PRODUCT):
// measuring its columns, writing them to a text file padded to `widths`,
// and the string value that names it in %name% expansion. Installed with
// value_register_printer (runtime/printer.h); a missing entry prints as VOID.
struct ValuePrintOps {
    uint16_t (*width)(RuntimeContext* rt, Value v, uint16_t* widths, uint32_t flags);
    ResultCode (*write)(RuntimeContext* rt, TextFile* stream, Value v, const uint16_t* widths,
                        uint32_t flags);
    Value (*name)(RuntimeContext* rt, Value v);
};

// One entry of an intern list: the payload and the box made for it.
struct InternEntry {
    Value payload;
    Value box;  // owned by the entry
    InternEntry* next;
};

struct RuntimeContext {
    InternEntry* type_boxes[16];  // slot t: intern list of the boxes of value type t
    InternEntry* kind_boxes[16];  // slot k: intern list of the boxes of token kind k
    uint32_t state;               // 0 usable, 1 not
    ValueTypeOps type_ops[16];    // hooks of the types that later modules add
    ValuePrintOps print_ops[16];  // their printing hooks
    // Allocation failure for tests: while limit_allocations is set, only
    // allocations_left more blocks are handed out.
    bool limit_allocations;
    uint32_t allocations_left;
    // Small blocks are served from slabs kept per context: one free list per
    // 16-byte size class, and the slab being carved.
    void* pool_free[16];
    char* pool_cursor;
    char* pool_end;
    void* pool_slabs;  // linked through each slab's first word
};

// A new context with empty intern lists and state 0; nullptr when memory runs out.
RuntimeContext* rt_create();
// Frees every box of all 32 intern lists, their entries and the context; RC_OK.
ResultCode rt_destroy(RuntimeContext* rt);
// True when the context exists and its state is not 1.
inline bool rt_usable(const RuntimeContext* rt) {
    return rt && rt->state != 1;
}

// Installs the hooks of value type GROUP, PRODUCT or VOLUMEMAP. RC_NO_OBJECT
// for an unusable context or another type code.
ResultCode value_register_type(RuntimeContext* rt, uint32_t type, const ValueTypeOps& ops);

// A block with `size` bytes of body behind a zeroed header word; returns the
// handle (the body's address), or 0 when memory runs out, the context is
// unusable, or size + 4 reaches 65536.
Value value_alloc(RuntimeContext* rt, uint32_t size);
// Gives the whole block of `block` back. Does nothing for 0, 1 or an
// unusable context.
ResultCode value_free(RuntimeContext* rt, Value block);

// The header word lies in the 4 bytes in front of a block's body: the type
// code in bits 0-3, the token kind in bits 4-7, and the box mark.
constexpr uint32_t VALUE_HEADER_BYTES = 4;
constexpr uint32_t VALUE_TYPE_BITS = 0x0F;
constexpr uint32_t VALUE_KIND_BITS = 0xF0;
constexpr uint32_t VALUE_BOXED = 0x100;

// True when `v` is neither 0 nor 1.
inline bool value_is_real(Value v) {
    return v > 1;
}
inline uint32_t value_header(Value v) {
    return *reinterpret_cast<const uint32_t*>(v - VALUE_HEADER_BYTES);
}
// Header readers; 0 for handles that are not real. They are read for every
// value a table passes, so they are inline.
inline uint32_t value_type(Value v) {
    return value_is_real(v) ? (value_header(v) & VALUE_TYPE_BITS) : 0;
}
inline uint32_t value_kind(Value v) {
    return value_is_real(v) ? (value_header(v) & VALUE_KIND_BITS) >> 4 : 0;
}
inline bool value_is_boxed(Value v) {
    return value_is_real(v) && (value_header(v) & VALUE_BOXED) != 0;
}
// The payload of a box; any other handle unchanged.
inline Value value_unbox(Value v) {
    return value_is_boxed(v) ? *reinterpret_cast<const Value*>(v) : v;
}

// With `share`, or for the handles 0 and 1: the interned type (kind) box of
// payload `v`. Otherwise stamps the code into `v`'s header in place and
// returns `v`. 0 when the context is unusable or memory runs out.
Value value_set_type(RuntimeContext* rt, uint32_t type, Value v, bool share);
Value value_set_kind(RuntimeContext* rt, uint32_t kind, Value v, bool share);

// The marker values: the shared type box of payload 0 for FAILURE,
// OPTIONAL and ANY.
Value value_failure(RuntimeContext* rt);
Value value_optional(RuntimeContext* rt);
Value value_any(RuntimeContext* rt);
// A boolean (0 or 1) in its shared BOOLEAN box.
Value value_boolean(RuntimeContext* rt, Value b);
// An atom in its shared ATOM box; the atom's own header stays as its table made it.
Value value_atom(RuntimeContext* rt, Value atom);

// Reads and writes the body words of a block. The body of every record is
// pointer-aligned.
template <typename Record>
inline Record* value_record(Value v) {
    return reinterpret_cast<Record*>(v);
}
