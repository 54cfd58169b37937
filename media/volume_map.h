// Volume maps: the script value that records bytes needed per target
// volume (a total and one amount per volume root, in label order). All
// arithmetic is unsigned 32-bit and fails, giving nothing, rather than wrap.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/runtime_context.h"

// One volume of a map: its root ("C:\") and the bytes needed there. The
// label's text is kept in the element's own block, right after the record,
// so that a map of many volumes costs one block per volume.
struct VolumeMapElement {
    VolumeMapElement* next;
    uint32_t amount;
    uint16_t label_length;
};

// The label of an element of a map; valid while the element is.
std::string_view volume_map_label(const VolumeMapElement* e);

// The first word is the total, so that a map compares with a number.
struct VolumeMap {
    uint32_t total;
    uint32_t count;              // elements of the list
    VolumeMapElement* elements;  // ascending label order, letters folded
    // Elements added to a map of many volumes since its list was last in
    // order, newest first, labels not yet told apart. They join the list
    // (amounts of equal labels summed) when the elements are next looked
    // at, so that a map of n volumes is built in n log n rather than by a
    // walk of the list for each, and a map only added to and freed is
    // never sorted.
    VolumeMapElement* pending;
    uint32_t pending_count;
    VolumeMapElement* last;  // the element the latest add went to, or none
};

// Installs release and copy of VOLUMEMAP values in the runtime.
ResultCode volume_map_register(RuntimeContext* rt);

// A new, empty map stamped VOLUMEMAP; 0 when memory runs out.
Value volume_map_new(RuntimeContext* rt);
ResultCode volume_map_free(RuntimeContext* rt, Value map);
Value volume_map_copy(RuntimeContext* rt, Value map);

// Adds `amount` under the volume of `path`. An amount of 0 changes nothing.
// RC_NO_OBJECT for a missing map or memory; RC_TEXT_TOO_LONG never; an
// overflow of the total or the element gives RC_OS_ERROR and leaves the map
// as it was.
ResultCode volume_map_add(RuntimeContext* rt, Value map, std::string_view path, uint32_t amount);

// The elements in label order, the ones added lately joined in first; none
// for a missing or empty map. Lent: valid until the map next changes.
VolumeMapElement* volume_map_elements(RuntimeContext* rt, Value map);
uint32_t volume_map_total(RuntimeContext* rt, Value map);
uint32_t volume_map_count(RuntimeContext* rt, Value map);
// The amount recorded for the volume of `path`, 0 when none.
uint32_t volume_map_amount(RuntimeContext* rt, Value map, std::string_view path);

// New maps, or 0 when a value would leave the 32-bit range (a difference
// that goes below 0, or that holds a volume the first map lacks, fails).
Value volume_map_sum(RuntimeContext* rt, Value a, Value b);
Value volume_map_difference(RuntimeContext* rt, Value a, Value b);
Value volume_map_product(RuntimeContext* rt, Value map, uint32_t factor);
Value volume_map_quotient(RuntimeContext* rt, Value map, uint32_t divisor);
// Spreads `amount` over the elements in proportion to their amounts; the
// last element takes the remainder so the total moves by exactly `amount`.
Value volume_map_grow(RuntimeContext* rt, Value map, uint32_t amount);
Value volume_map_shrink(RuntimeContext* rt, Value map, uint32_t amount);

// Same total and the same amounts under the same labels.
bool volume_map_equal(RuntimeContext* rt, Value a, Value b);

// One volume that lacks room: its label and the bytes missing.
struct VolumeShortfall {
    std::string label;
    uint32_t missing;
};

// Asks `free_bytes` for the free space of every volume of the map, holds a
// sixteenth of each required amount back, and lists the volumes that lack
// room. Returns the query's failure code with `failed_label` set, else RC_OK.
using FreeBytesQuery = ResultCode (*)(void* user, const std::string& label, uint32_t* free);
ResultCode volume_map_check_space(RuntimeContext* rt, Value map, FreeBytesQuery free_bytes,
                                  void* user, std::vector<VolumeShortfall>* short_volumes,
                                  std::string* failed_label);
