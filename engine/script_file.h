// One file of the script data language opened for reading as the engine
// reads its tables: a namespace and an atom table of its own, and a reader.
// Everything is released together when the file is done.
#pragma once

#include <string_view>

#include "runtime/runtime_context.h"

struct Reader;
struct SymbolTable;

struct ScriptFile {
    Namespace* ns = nullptr;
    SymbolTable* atoms = nullptr;
    Reader* reader = nullptr;  // none when the file cannot be read
};

// Opens directory\base.extension; true when the reader could be opened.
// *failure (may be null) says why it could not (see reader_open).
bool script_file_open(RuntimeContext* rt, std::string_view directory, std::string_view base,
                      std::string_view extension, ScriptFile* file, ResultCode* failure = nullptr);
// Closes the reader, then releases the atom table and the namespace.
void script_file_close(RuntimeContext* rt, ScriptFile* file);
