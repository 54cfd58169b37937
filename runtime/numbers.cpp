// Number values: never-wrapping unsigned 32-bit arithmetic.
#include "runtime/numbers.h"

#include <cstring>
#include <string>

#include "runtime/strings.h"
#include "sys/text.h"

namespace {

uint32_t* integer_of(Value n) {
    return value_record<uint32_t>(n);
}

// A new number for a 64-bit result, or 0 when the result does not fit.
Value number_from_wide(RuntimeContext* rt, uint64_t wide) {
    if (wide > UINT32_MAX) return 0;
    return number_new(rt, uint32_t(wide));
}

bool operands_present(RuntimeContext* rt, Value a, Value b) {
    return rt_usable(rt) && value_is_real(a) && value_is_real(b);
}

std::string scaled_text(uint32_t value, bool scaled, std::string_view mega, std::string_view kilo) {
    if (scaled && value > 16777216u) return std::to_string(value >> 20).append(mega);
    if (scaled && value > 16384u) return std::to_string(value >> 10).append(kilo);
    return std::to_string(value);
}

}  // namespace

Value number_new(RuntimeContext* rt, uint32_t n) {
    Value v = value_alloc(rt, sizeof(uint32_t));
    if (v) *integer_of(v) = n;
    return v;
}

Value number_parse(RuntimeContext* rt, std::string_view text) {
    uint32_t n = 0;
    if (!rt_usable(rt) || !parse_size(text, &n)) return 0;
    return number_new(rt, n);
}

Value number_copy(RuntimeContext* rt, Value n) {
    if (!value_is_real(n)) return 0;
    return number_new(rt, *integer_of(n));
}

ResultCode number_free(RuntimeContext* rt, Value n) {
    return value_free(rt, n);
}

uint32_t number_value(RuntimeContext* rt, Value n) {
    if (!rt_usable(rt) || !value_is_real(n)) return 0;
    return *integer_of(n);
}

Value number_add(RuntimeContext* rt, Value a, Value b) {
    if (!operands_present(rt, a, b)) return 0;
    return number_from_wide(rt, uint64_t(*integer_of(a)) + *integer_of(b));
}

Value number_sub(RuntimeContext* rt, Value a, Value b) {
    if (!operands_present(rt, a, b)) return 0;
    if (*integer_of(b) > *integer_of(a)) return 0;
    return number_new(rt, *integer_of(a) - *integer_of(b));
}

Value number_mul(RuntimeContext* rt, Value a, Value b) {
    if (!operands_present(rt, a, b)) return 0;
    return number_from_wide(rt, uint64_t(*integer_of(a)) * *integer_of(b));
}

Value number_div(RuntimeContext* rt, Value a, Value b) {
    if (!operands_present(rt, a, b) || *integer_of(b) == 0) return 0;
    return number_new(rt, *integer_of(a) / *integer_of(b));
}

ResultCode number_inc(RuntimeContext* rt, Value n) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (value_is_real(n) && *integer_of(n) != UINT32_MAX) ++*integer_of(n);
    return RC_OK;
}

ResultCode number_dec(RuntimeContext* rt, Value n) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (value_is_real(n) && *integer_of(n) != 0) --*integer_of(n);
    return RC_OK;
}

bool number_is_zero(RuntimeContext* rt, Value n) {
    return rt_usable(rt) && value_is_real(n) && *integer_of(n) == 0;
}

bool number_equal(RuntimeContext* rt, Value a, Value b) {
    if (!operands_present(rt, a, b)) return false;
    return a == b || *integer_of(a) == *integer_of(b);
}

bool number_less(RuntimeContext* rt, Value a, Value b) {
    return operands_present(rt, a, b) && a != b && *integer_of(a) < *integer_of(b);
}

bool number_greater(RuntimeContext* rt, Value a, Value b) {
    return operands_present(rt, a, b) && a != b && *integer_of(a) > *integer_of(b);
}

size_t number_text(RuntimeContext* rt, Value n, char* buffer, size_t capacity, bool scaled,
                   std::string_view mega_suffix, std::string_view kilo_suffix) {
    if (!rt_usable(rt) || !buffer) return 0;
    std::string text = value_is_real(n)
                           ? scaled_text(*integer_of(n), scaled, mega_suffix, kilo_suffix)
                           : std::string(NUMBER_PLACEHOLDER);
    if (text.size() + 1 > capacity) return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return text.size();
}

Value number_string(RuntimeContext* rt, Value n, bool scaled, std::string_view mega_suffix,
                    std::string_view kilo_suffix) {
    char buffer[64];
    size_t length = number_text(rt, n, buffer, sizeof buffer, scaled, mega_suffix, kilo_suffix);
    if (length == 0) return 0;
    return string_new(rt, std::string_view(buffer, length));
}
