// Date values, formatted and parsed in the C locale.
#include "runtime/dates.h"

#include <locale.h>
#include <time.h>

#include <clocale>
#include <cstring>
#include <string>

#include "sys/text.h"

namespace {

constexpr const char* LONG_FORM = "%m/%d/%y %I:%M:%S %p";
constexpr const char* SORTABLE_FORM = "%Y.%m.%d.%H.%M.%S";

DateRecord* record_of(Value d) {
    return value_record<DateRecord>(d);
}

Value date_new(RuntimeContext* rt, time_t seconds) {
    Value d = value_alloc(rt, sizeof(DateRecord));
    if (d) record_of(d)->seconds = seconds;
    return d;
}

}  // namespace

Value date_now(RuntimeContext* rt) {
    return date_new(rt, std::time(nullptr));
}

Value date_parse(RuntimeContext* rt, std::string_view text) {
    if (!rt_usable(rt) || text.size() > 64) return 0;
    locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!c_locale) return 0;
    std::string copy(text);
    struct tm fields {};
    const char* rest = strptime_l(copy.c_str(), LONG_FORM, &fields, c_locale);
    freelocale(c_locale);
    if (!rest || !only_spaces(rest)) return 0;
    fields.tm_isdst = -1;
    time_t seconds = mktime(&fields);
    if (seconds == time_t(-1)) return 0;
    return date_new(rt, seconds);
}

Value date_copy(RuntimeContext* rt, Value d) {
    if (!rt_usable(rt) || !value_is_real(d)) return 0;
    return date_new(rt, record_of(d)->seconds);
}

ResultCode date_free(RuntimeContext* rt, Value d) {
    return value_free(rt, d);
}

time_t date_seconds(RuntimeContext* rt, Value d) {
    return (rt_usable(rt) && value_is_real(d)) ? record_of(d)->seconds : 0;
}

size_t date_text(RuntimeContext* rt, Value d, char* buffer, size_t capacity, bool sortable) {
    if (!rt_usable(rt) || !value_is_real(d) || !buffer || capacity == 0) return 0;
    struct tm fields {};
    if (!localtime_r(&record_of(d)->seconds, &fields)) return 0;
    locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!c_locale) return 0;
    size_t length =
        strftime_l(buffer, capacity, sortable ? SORTABLE_FORM : LONG_FORM, &fields, c_locale);
    freelocale(c_locale);
    if (length == 0) buffer[0] = '\0';
    return length;
}
