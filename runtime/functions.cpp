// Function values.
#include "runtime/functions.h"

#include "runtime/lists.h"
#include "runtime/strings.h"
#include "runtime/values.h"

namespace {

FunctionRecord* record_of(Value f) {
    return value_record<FunctionRecord>(f);
}

bool present(RuntimeContext* rt, Value f) {
    return rt_usable(rt) && value_is_real(f);
}

// The routine an absent function value answers with.
Value default_routine(RuntimeContext*, Value) {
    return 0;
}

}  // namespace

Value function_new(RuntimeContext* rt, FunctionRoutine implementation, std::string_view name) {
    Value f = value_alloc(rt, sizeof(FunctionRecord));
    if (!f) return 0;
    Value arguments = list_empty(rt);
    Value text = string_new(rt, name);
    if (!arguments || !text) {
        list_destroy(rt, arguments, true, nullptr);
        string_free(rt, text);
        value_free(rt, f);
        return 0;
    }
    *record_of(f) = FunctionRecord{implementation, arguments, text};
    return f;
}

ResultCode function_add_argument(RuntimeContext* rt, Value f, Value argument) {
    if (!present(rt, f) || !argument) return RC_NO_OBJECT;
    Value cell = list_cons(rt, argument, record_of(f)->arguments);
    if (!cell) return RC_NO_OBJECT;
    record_of(f)->arguments = cell;
    return RC_OK;
}

FunctionRoutine function_implementation(RuntimeContext* rt, Value f) {
    if (!present(rt, f) || !record_of(f)->implementation) return default_routine;
    return record_of(f)->implementation;
}

Value function_arguments(RuntimeContext* rt, Value f) {
    return present(rt, f) ? record_of(f)->arguments : list_empty(rt);
}

Value function_name(RuntimeContext* rt, Value f) {
    return present(rt, f) ? record_of(f)->name : 0;
}

bool function_equal(RuntimeContext* rt, Value a, Value b) {
    if (!present(rt, a) || !present(rt, b)) return false;
    return function_implementation(rt, a) == function_implementation(rt, b);
}

ResultCode function_release(RuntimeContext* rt, Value f) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(f)) return RC_OK;
    list_destroy(rt, record_of(f)->arguments, true, value_release);
    string_free(rt, record_of(f)->name);
    return value_free(rt, f);
}
