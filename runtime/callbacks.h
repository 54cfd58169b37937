// The operations that tables and containers take from their callers: how to
// hash, match, release, copy, stamp and record the keys and elements they
// hold. Needs runtime_context.
#pragma once

#include <cstdint>

#include "runtime/runtime_context.h"

// Answers which bucket of `size` a key belongs to.
using HashFn = uint32_t (*)(RuntimeContext* rt, Value key, uint32_t size);
// Answers whether a probe matches a stored key or element (probe first);
// also the shape of the order tests (`after`, `greater`).
using MatchFn = bool (*)(RuntimeContext* rt, Value probe, Value stored);
// Releases a key or element that a table or container gives up.
using ReleaseFn = ResultCode (*)(RuntimeContext* rt, Value v);
// Copies an element.
using CopyFn = Value (*)(RuntimeContext* rt, Value v);
// Copies an element for a new list, recording what it makes in `ns`.
using CopyInFn = Value (*)(RuntimeContext* rt, Namespace* ns, Value v);
// True when a copy counts as nothing and is left out.
using IsVoidFn = bool (*)(Value v);
// Records a new block in a namespace.
using RecordFn = ResultCode (*)(RuntimeContext* rt, Namespace* ns, Value v);
// Stamps a new block with a type.
using StampFn = Value (*)(RuntimeContext* rt, Value v);
// Combines two equal elements of two lists into one.
using CombineFn = Value (*)(RuntimeContext* rt, Value a, Value b);
