// Path parts: joining and splitting the engine's backslash paths.
#include "sys/paths.h"

#include <vector>

#include "sys/text.h"

bool path_has_drive(std::string_view path) {
    return path.size() >= 2 && is_letter(path[0]) && path[1] == ':';
}

static bool ends_with(const std::string& text, char c) {
    return !text.empty() && text.back() == c;
}

std::string path_join(std::string_view absolute, std::string_view relative, std::string_view base,
                      std::string_view extension) {
    std::string out(absolute);
    if (!absolute.empty() && (!relative.empty() || !base.empty() || !extension.empty()) &&
        !ends_with(out, '\\'))
        out += '\\';
    if (!relative.empty() && !text_equal_nocase(relative, ".")) {
        out += relative;
        if ((!base.empty() || !extension.empty()) && !ends_with(out, '\\') && !ends_with(out, ':'))
            out += '\\';
    }
    out += base;
    if (!extension.empty()) {
        out += '.';
        out += extension;
    }
    return out;
}

std::string path_join(const PathParts& parts) {
    return path_join(parts.absolute, parts.relative, parts.base, parts.extension);
}

PathParts path_split(std::string_view path) {
    PathParts parts;
    bool drive = path_has_drive(path);
    bool absolute =
        (!path.empty() && path[0] == '\\') || (drive && path.size() >= 3 && path[2] == '\\');

    // The last separator: the last backslash, or the colon of a drive
    // prefix that has no backslash after it.
    size_t sep = path.rfind('\\');
    if (sep == std::string_view::npos && drive) sep = 1;

    size_t name_start = (sep == std::string_view::npos) ? 0 : sep + 1;
    std::string_view name = path.substr(name_start);

    // The last dot of the last component counts when the character after
    // it is neither a dot nor a backslash (the end of the text counts).
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < name.size(); ++i)
        if (name[i] == '.' && (i + 1 == name.size() || name[i + 1] != '.')) dot = i;

    if (dot == std::string_view::npos) {
        parts.base = name;
    } else {
        parts.base = name.substr(0, dot);
        parts.extension = name.substr(dot + 1);
    }

    if (sep == std::string_view::npos) return parts;

    if (absolute) {
        size_t root_end = drive ? 3 : 1;  // length of "X:\" or "\"
        if (sep + 1 == path.size() || sep + 1 <= root_end)
            parts.absolute = path.substr(0, sep + 1);  // a root, or a trailing backslash
        else
            parts.absolute = path.substr(0, sep);
    } else if (path[sep] == ':') {
        parts.relative = path.substr(0, sep + 1);  // "X:" followed directly by a name
    } else {
        parts.relative = path.substr(0, sep);
    }
    return parts;
}

std::string path_trim(std::string_view path) {
    std::string out(path);
    if (out.size() == 2 && path_has_drive(out)) return out + '\\';
    bool root = out == "\\" || (out.size() == 3 && path_has_drive(out) && out[2] == '\\');
    if (!root && ends_with(out, '\\')) out.pop_back();
    return out;
}

std::string path_root_form(std::string_view root) {
    std::string out(root);
    for (char& c : out)
        if (c == '/') c = '\\';
    out = path_trim(out);
    if (path_has_drive(out)) out[0] = upper_char(out[0]);
    return out;
}

std::vector<std::string_view> path_components(std::string_view path) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool path_within(std::string_view a, std::string_view b) {
    if (!text_contains_nocase(a, b)) return false;
    std::vector<std::string_view> ca = path_components(a), cb = path_components(b);
    if (ca.size() < cb.size()) return false;
    for (size_t i = 0; i < cb.size(); ++i)
        if (!text_equal_nocase(ca[i], cb[i])) return false;
    return true;
}

std::string short_name_mark(std::string_view name) {
    if (name.size() <= 7) return "_" + std::string(name);
    std::string out(name);
    out[0] = '_';
    return out;
}
