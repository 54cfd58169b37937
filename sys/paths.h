// Path parts: every path handed between parts of the engine is four texts
// (absolute directory, relative directory, base name, extension), joined by
// path_join and taken apart by path_split. Pure text work; the host is
// never asked (directory_full_path lives with the host layer).
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct PathParts {
    std::string absolute;   // "\..." or "X:\...", keeps the drive and root backslash
    std::string relative;   // plain relative, or "X:" followed by a relative path
    std::string base;       // last component without its extension
    std::string extension;  // without the dot
};

// Joins the four parts: absolute, a backslash, relative (unless "."), a
// backslash, base, "." and extension, leaving out what is empty. Joining the
// parts of the current directory ("", ".", "", "") gives the empty text.
std::string path_join(std::string_view absolute, std::string_view relative, std::string_view base,
                      std::string_view extension);
std::string path_join(const PathParts& parts);

// Splits a path into its four parts (at most one directory part is set).
PathParts path_split(std::string_view path);

// A drive letter and colon alone get a backslash; otherwise a trailing
// backslash is removed unless the path is a root ("\" or "X:\").
std::string path_trim(std::string_view path);

// The one form in which a drive root is kept and compared: "\" separators,
// the drive letter in upper case, trimmed as path_trim does.
std::string path_root_form(std::string_view root);

// The components of `path` between its backslashes; a doubled backslash
// gives an empty component.
std::vector<std::string_view> path_components(std::string_view path);

// True when `b` names `a` or a directory that holds it: `b` occurs in `a`
// and `b`'s components are the first components of `a` (letters folded).
bool path_within(std::string_view a, std::string_view b);

// Marks a short name: a name of at most 7 characters gets "_" in front, a
// longer one has its first character replaced by "_".
std::string short_name_mark(std::string_view name);

// True when the path starts with a drive letter and a colon.
bool path_has_drive(std::string_view path);
