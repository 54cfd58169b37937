// The lexer: turns the characters of a reader's input into one token at a
// time, counting line feeds, skipping blanks and comments, and building
// token texts in the reader's fixed buffer (nothing is allocated per
// character). Needs reader, tokens, strings, numbers, atoms and namespaces.
#pragma once

#include "runtime/reader.h"

// Scans the next token of the reader's input (see tokens.h for the kinds).
// Errors are tokens; 0 only when the context or reader is unusable, or
// memory runs out while making an atom, a string or a name. A failed read
// ends the scan as the end of the input would; the reader, which sees the
// input's failure, tells the two apart.
Value lexer_scan(RuntimeContext* rt, Reader* reader);
