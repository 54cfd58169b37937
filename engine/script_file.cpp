// Script files opened with the engine's tables.
#include "engine/script_file.h"

#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/values.h"

namespace {

constexpr uint32_t NAMESPACE_BUCKETS = 57;
constexpr uint32_t ATOM_BUCKETS = 7;

}  // namespace

bool script_file_open(RuntimeContext* rt, std::string_view directory, std::string_view base,
                      std::string_view extension, ScriptFile* file, ResultCode* failure) {
    *file = ScriptFile{};
    if (failure) *failure = RC_NO_OBJECT;
    file->ns = namespace_new(rt, nullptr, NAMESPACE_BUCKETS);
    file->atoms = symtab_new(rt, ATOM_BUCKETS);
    if (file->ns && file->atoms)
        file->reader = reader_open(rt, file->atoms, nullptr, file->ns, false, false, directory, "",
                                   base, extension, failure);
    return file->reader != nullptr;
}

void script_file_close(RuntimeContext* rt, ScriptFile* file) {
    if (file->reader) reader_close(rt, file->reader);
    if (file->atoms) atom_table_destroy(rt, file->atoms);
    if (file->ns) namespace_destroy(rt, file->ns, string_free, value_release);
    *file = ScriptFile{};
}
