// The provider table: a few roots, each with the operations that answer for
// the paths below it.
#include "sys/drive_providers.h"

#include "sys/host_paths.h"
#include "sys/paths.h"
#include "sys/text.h"

// A drive letter and a folder or two are all a run ever registers.
constexpr size_t PROVIDER_LIMIT = 8;

struct ProviderSlot {
    std::string root;  // in comparison form; empty when the slot is free
    const DriveProvider* provider = nullptr;
    void* context = nullptr;
};

static ProviderSlot* provider_slots() {
    static ProviderSlot slots[PROVIDER_LIMIT];
    return slots;
}

// True when `path` starts at a root without naming a drive.
static bool rooted_without_drive(std::string_view path) {
    return !path.empty() && (path[0] == '\\' || path[0] == '/');
}

// The comparison form of a path: "\" separators, letters folded, a rooted
// path without a drive put on Z:, trailing separators cut. *added tells how
// many characters were put in front of the text.
static std::string comparison_form(std::string_view path, size_t* added) {
    std::string out;
    *added = 0;
    if (rooted_without_drive(path)) {
        out = "z:";
        *added = 2;
    }
    for (char c : path) out += c == '/' ? '\\' : fold_char(c);
    while (out.size() > 2 && out.back() == '\\') out.pop_back();
    return out;
}

// The first character of the comparison form of `path`, without making it
// ('\0' for an empty path).
static char comparison_lead(std::string_view path) {
    if (path.empty()) return '\0';
    return rooted_without_drive(path) ? 'z' : fold_char(path[0]);
}

static ProviderSlot* slot_of(const std::string& root) {
    for (size_t i = 0; i < PROVIDER_LIMIT; ++i)
        if (!provider_slots()[i].root.empty() && provider_slots()[i].root == root)
            return &provider_slots()[i];
    return nullptr;
}

ResultCode drive_provider_register(std::string_view root, const DriveProvider* provider,
                                   void* context) {
    if (root.empty() || root.size() > size_t(PATH_LIMIT) || !provider) return RC_INVALID_FILE_NAME;
    size_t added = 0;
    std::string key = comparison_form(root, &added);
    ProviderSlot* slot = slot_of(key);
    for (size_t i = 0; !slot && i < PROVIDER_LIMIT; ++i)
        if (provider_slots()[i].root.empty()) slot = &provider_slots()[i];
    if (!slot) return RC_OS_ERROR;
    *slot = ProviderSlot{key, provider, context};
    return RC_OK;
}

void drive_provider_unregister(std::string_view root) {
    size_t added = 0;
    ProviderSlot* slot = slot_of(comparison_form(root, &added));
    if (slot) *slot = ProviderSlot{};
}

// True when `root` (comparison form) lies above the compared path `path`:
// a drive root ("a:") holds every path on its drive, a folder its own
// path and every path below it.
static bool root_holds(const std::string& root, const std::string& path) {
    if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) return false;
    if (root.size() == 2 && root[1] == ':') return true;
    return path.size() == root.size() || path[root.size()] == '\\';
}

bool drive_provider_find(std::string_view path, const DriveProvider** provider, void** context,
                         std::string* inner) {
    if (path.size() > size_t(PATH_LIMIT)) return false;
    // Most paths lie under no provider: the first character of their
    // comparison form, matched by no root, tells so without making it.
    char first = comparison_lead(path);
    bool maybe = false;
    for (size_t i = 0; !maybe && i < PROVIDER_LIMIT; ++i)
        maybe = !provider_slots()[i].root.empty() && provider_slots()[i].root[0] == first;
    if (!maybe) return false;
    size_t added = 0;
    std::string compared = comparison_form(path, &added);
    const ProviderSlot* best = nullptr;
    for (size_t i = 0; i < PROVIDER_LIMIT; ++i) {
        const ProviderSlot& slot = provider_slots()[i];
        if (slot.root.empty() || !root_holds(slot.root, compared)) continue;
        if (!best || slot.root.size() > best->root.size()) best = &slot;
    }
    if (!best) return false;
    *provider = best->provider;
    *context = best->context;
    size_t cut = best->root.size() - added;
    *inner = cut < path.size() ? std::string(path.substr(cut)) : std::string();
    return true;
}

ResultCode path_target_find(std::string_view path, PathTarget* target) {
    *target = PathTarget{};
    target->provided = drive_provider_find(path, &target->on);
    return target->provided ? RC_OK : host_path_resolve(path, &target->host);
}
