// Installer scripts and the language resource file.
#include "engine/script_resources.h"

#include <algorithm>

#include "engine/messages.h"
#include "engine/script_file.h"
#include "model/fields.h"
#include "model/product.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/tokens.h"
#include "sys/files.h"
#include "sys/text.h"
#include "sys/text_file.h"

namespace {

constexpr const char* INSTALLER_EXTENSIONS[] = {"stp", "shd", "avf", "pvf", "pin",
                                                "zoo", "tpz", "vrf", "ins", "dei"};
constexpr const char* USER_EXTENSIONS[] = {"stp", "avf", "pvf", "pin", "shd", "nls", "lic"};
constexpr const char* PRODUCT_EXTENSIONS[] = {"vrf", "ins", "dei"};

struct ScriptSet {
    std::string base;
    std::vector<std::string> extensions;
    std::string title;
};

template <size_t N>
std::vector<std::string> extensions_of(const char* const (&list)[N]) {
    return std::vector<std::string>(list, list + N);
}

std::vector<ScriptSet> script_sets(RunContext* run, Value product) {
    RuntimeContext* rt = run->runtime;
    std::vector<ScriptSet> sets;
    if (text_equal_nocase(field_text(rt, product_name(product)), run->options.install_product)) {
        sets.push_back({run->options.os_word, extensions_of(INSTALLER_EXTENSIONS),
                        run->options.os_word + " Installer Scripts"});
        for (const char* word : {"win95", "nt", "win32"})
            if (text_equal_nocase(run->options.os_word, word))
                sets.push_back(
                    {"win32", extensions_of(INSTALLER_EXTENSIONS), "win32 Installer Scripts"});
        sets.push_back(
            {"user", extensions_of(USER_EXTENSIONS), run->options.os_word + " User Scripts"});
    }
    sets.push_back({std::string(field_text(rt, product_filename(product))),
                    extensions_of(PRODUCT_EXTENSIONS),
                    std::string(field_text(rt, product_interface_label(product)))});
    return sets;
}

// Doubles every backslash; false when the text would pass 2048 characters.
bool double_backslashes(std::string_view text, std::string* out) {
    out->clear();
    for (char c : text) {
        if (c == '\\') *out += '\\';
        *out += c;
    }
    return out->size() <= size_t(TEXT_LIMIT);
}

// Reads the arguments of one nls( call; false when it is not a call of two strings.
bool read_call(RuntimeContext* rt, Reader* reader, std::string* key, std::string* text) {
    Value token = reader_next(rt, reader);
    bool ok = is_lparen(token);
    for (int step = 0; ok && step < 3; ++step) {
        token = reader_next(rt, reader);
        if (step == 1) {
            ok = is_comma(token);
            continue;
        }
        ok = is_string(token);
        if (ok) *(step == 0 ? key : text) = string_view_of(rt, token);
        token_release(rt, token);
    }
    // A token that breaks the call is looked at again as a token of its own.
    if (!ok && !is_eof(token)) reader_unget(rt, reader);
    return ok;
}

// Reports a failure of the step under the file it concerns and returns it.
ResultCode failed(RunContext* run, std::string_view path, int depth, ResultCode code) {
    engine_report(run->log, path, "", "", "", NO_LINE, depth, code);
    return code;
}

// The stale test and the collection of one set; RC_OK when nothing is to be
// done. Every failure is reported under the file it concerns.
ResultCode refresh_resource_file(RunContext* run, const ScriptSet& set, std::string_view directory,
                                 int depth) {
    std::string subdirectory = work_directory_path(directory);
    std::string resource = path_join(subdirectory, "", set.base, "prn");
    bool resource_exists = false;
    ResultCode code = file_exists(resource, &resource_exists);
    if (code != RC_OK) return failed(run, resource, depth, code);
    bool stale = !resource_exists;
    std::vector<std::string> present;
    for (const std::string& ext : set.extensions) {
        std::string script = path_join(directory, "", set.base, ext);
        bool exists = false;
        if ((code = file_exists(script, &exists)) != RC_OK) return failed(run, script, depth, code);
        if (!exists) continue;
        present.push_back(ext);
        bool not_older = true;
        if (resource_exists && (code = file_not_older(script, resource, &not_older)) != RC_OK)
            return failed(run, script, depth, code);
        if (!not_older) stale = true;
    }
    if (!stale) return RC_OK;

    std::vector<NlsPair> pairs;
    size_t width = 0;
    for (const std::string& ext : present) {
        code = collect_nls_strings(run, directory, set.base, ext, &pairs, &width, depth);
        if (code != RC_OK) return code;
    }
    if (pairs.empty()) return RC_OK;
    if (directory_make(subdirectory) != RC_OK)
        return failed(run, subdirectory, depth, RC_NO_DISKWARD_SUBDIR);
    code =
        write_resource_file(PathParts{subdirectory, "", set.base, "prn"}, set.title, pairs, width);
    return code == RC_OK ? code : failed(run, resource, depth, code);
}

}  // namespace

std::vector<std::string> script_resource_bases(RunContext* run, Value product) {
    std::vector<std::string> bases;
    for (const ScriptSet& set : script_sets(run, product)) {
        bool listed = false;
        for (const std::string& base : bases) listed = listed || text_equal_nocase(base, set.base);
        if (!listed) bases.push_back(set.base);
    }
    return bases;
}

ResultCode write_script_resources(RunContext* run, Value product,
                                  std::string_view product_directory, int depth) {
    for (const ScriptSet& set : script_sets(run, product)) {
        ResultCode code = refresh_resource_file(run, set, product_directory, depth);
        if (code != RC_OK) return code;
    }
    return RC_OK;
}

ResultCode collect_nls_strings(RunContext* run, std::string_view directory, std::string_view base,
                               std::string_view extension, std::vector<NlsPair>* pairs,
                               size_t* width, int depth) {
    RuntimeContext* rt = run->runtime;
    ScriptFile script;
    ResultCode result = RC_OK;
    Reader* reader = script_file_open(rt, directory, base, extension, &script, &result)
                         ? script.reader
                         : nullptr;
    // A script that is there but cannot be read says why, not that it is missing.
    if (!reader) engine_report(run->log, directory, "", base, extension, NO_LINE, depth, result);
    while (reader) {
        Value token = reader_next(rt, reader);
        if (is_eof(token) || is_lex_error(token) || is_none(token)) break;
        bool call = is_name(token) && text_equal_nocase(string_view_of(rt, token), "nls");
        token_release(rt, token);
        std::string key, text;
        if (!call || !read_call(rt, reader, &key, &text)) continue;
        bool known = std::any_of(pairs->begin(), pairs->end(),
                                 [&](const NlsPair& p) { return p.key == key; });
        if (known) continue;
        NlsPair pair{key, ""};
        if (!double_backslashes(text, &pair.text)) {
            result = RC_TEXT_TOO_LONG;
            break;
        }
        *width = std::max(*width, key.size());
        pairs->push_back(std::move(pair));
    }
    // A script that could not be read whole gives no strings, not some.
    if (reader && result == RC_OK) result = reader_failure(rt, reader);
    if (reader && result != RC_OK)
        engine_report(run->log, directory, "", base, extension, NO_LINE, depth, result);
    script_file_close(rt, &script);
    return result;
}

namespace {

// Occurrences of the two characters `a` `b` in `text`, left to right
// without overlap, letters folded.
size_t count_pairs(std::string_view text, char a, char b) {
    size_t count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (fold_char(text[i]) != a || fold_char(text[i + 1]) != b) continue;
        ++count;
        ++i;
    }
    return count;
}

}  // namespace

size_t nls_text_length(std::string_view text) {
    // Each kind of escape is counted on its own, as the installer counts them.
    return text.size() - count_pairs(text, '\\', '\\') - count_pairs(text, '\\', 'n');
}

ResultCode write_resource_file(const PathParts& out, std::string_view title,
                               const std::vector<NlsPair>& pairs, size_t width) {
    std::string text = "/*\nVeltra Diskward Utility\n */\nSummary \"NLS Strings for ";
    text += title;
    text += "\"\n\n/*---------------------------------------*/\n";
    text += "Resource    \"Installer Text\"\nType        \"installertext\"\nContent\n\ntable\n{\n";
    for (const NlsPair& p : pairs) {
        std::string key = "\"" + p.key + "\"";
        std::string length = std::to_string(nls_text_length(p.text));
        text += "  " + key + std::string(width + 3 - key.size(), ' ') + " string 1 ";
        text += std::string(length.size() < 3 ? 3 - length.size() : 0, ' ') + length;
        text += " \"" + p.text + "\"\n";
    }
    text += "}\n";
    return text_file_write_whole(out,
                                 [&](TextFile* file) { return text_file_write_text(file, text); });
}
