// Version texts and the version product's name.
#include "engine/version_checks.h"

#include "runtime/strings.h"

namespace {

template <typename Compare>
bool compare(RuntimeContext* rt, std::string_view a, std::string_view b, uint32_t n,
             Compare cmp) {
    Value x = string_new(rt, a);
    Value y = string_new(rt, b);
    bool answer = x && y && cmp(rt, x, y, n);
    string_free(rt, x);
    string_free(rt, y);
    return answer;
}

}  // namespace

bool version_less(RuntimeContext* rt, std::string_view a, std::string_view b, uint32_t n) {
    return compare(rt, a, b, n, string_version_less);
}

bool version_greater(RuntimeContext* rt, std::string_view a, std::string_view b, uint32_t n) {
    return compare(rt, a, b, n, string_version_greater);
}

std::string version_product_name(const RunContext* rc) { return rc->os_word + "instver"; }

std::string current_installer_version(const RunContext* rc) {
    return rc->installer_version.empty() ? DEFAULT_INSTALLER_VERSION : rc->installer_version;
}
