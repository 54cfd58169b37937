// Signal values.
#include "runtime/signals.h"

#include "runtime/strings.h"

namespace {

SignalRecord* record_of(Value s) {
    return value_record<SignalRecord>(s);
}

bool present(RuntimeContext* rt, Value s) {
    return rt_usable(rt) && value_is_real(s);
}

}  // namespace

Value signal_new(RuntimeContext* rt, Value atom, Value payload, Value message, uint32_t extra) {
    Value s = value_alloc(rt, sizeof(SignalRecord));
    if (s) *record_of(s) = SignalRecord{atom, payload, message, extra};
    return s;
}

Value signal_copy(RuntimeContext* rt, Value s, CopyFn copy, ReleaseFn release) {
    if (!present(rt, s) || !copy) return 0;
    Value payload = record_of(s)->payload ? copy(rt, record_of(s)->payload) : 0;
    Value made = signal_new(rt, record_of(s)->atom, payload, 0, 0);
    if (!made && release && payload) release(rt, payload);
    return made;
}

ResultCode signal_release(RuntimeContext* rt, Value s, ReleaseFn release) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!value_is_real(s)) return RC_OK;
    if (release && record_of(s)->payload) release(rt, record_of(s)->payload);
    string_free(rt, record_of(s)->message);
    return value_free(rt, s);
}

Value signal_atom(RuntimeContext* rt, Value s) {
    return present(rt, s) ? record_of(s)->atom : 0;
}

Value signal_payload(RuntimeContext* rt, Value s) {
    return present(rt, s) ? record_of(s)->payload : 0;
}

bool signal_equal(RuntimeContext* rt, Value a, Value b, MatchFn equal) {
    if (!present(rt, a) || !present(rt, b)) return false;
    if (a == b) return true;
    if (record_of(a)->atom != record_of(b)->atom || !equal) return false;
    return equal(rt, record_of(a)->payload, record_of(b)->payload);
}
