// Function values: what bound names resolve to in a namespace. A record of
// an implementation routine, a list of arguments (newest first, owned, each
// released by its type) and a name string (owned). Needs lists, strings and
// the generic value release.
#pragma once

#include <string_view>

#include "runtime/runtime_context.h"

// The routine behind a function value; it is given the argument list.
using FunctionRoutine = Value (*)(RuntimeContext* rt, Value arguments);

struct FunctionRecord {
    FunctionRoutine implementation;
    Value arguments;  // a list; owned with its elements
    Value name;       // a string value; owned
};

// A new function value with a copy of `name` and an empty argument list; 0
// when memory runs out (nothing is left allocated).
Value function_new(RuntimeContext* rt, FunctionRoutine implementation, std::string_view name);
// Adds `argument` at the front of the argument list, taking it over.
ResultCode function_add_argument(RuntimeContext* rt, Value f, Value argument);
// The routine; for an absent function, one that returns 0.
FunctionRoutine function_implementation(RuntimeContext* rt, Value f);
// Lends the argument list. For an absent function: a new empty list the caller owns.
Value function_arguments(RuntimeContext* rt, Value f);
// Lends the name string.
Value function_name(RuntimeContext* rt, Value f);
// Same implementation routine.
bool function_equal(RuntimeContext* rt, Value a, Value b);
// Destroys the argument list, releasing each element by its type, and frees the name.
ResultCode function_release(RuntimeContext* rt, Value f);
