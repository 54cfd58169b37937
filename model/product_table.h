// The product table of a product file: reading its thirteen-column rows
// into a list of products, and writing a list back as an aligned table
// under a commented header line.
#pragma once

#include "model/product.h"

struct BiList;
struct Reader;
struct TextFile;

// Reads rows to the end of input into a new list in file order; nullptr
// when any row fails, when memory runs out, or when a read of the input
// failed (reader_failure then tells its code); nothing of the list survives.
BiList* product_list_read(RuntimeContext* rt, Reader* reader);
// Destroys a product list and its products.
void product_list_destroy(RuntimeContext* rt, BiList* list);
// Writes the table; RC_OK, the stream's failure code, or RC_NO_OBJECT for
// an unusable runtime. With `blank_locations` every Location is written "".
ResultCode product_table_write(RuntimeContext* rt, TextFile* stream, BiList* list,
                               bool blank_locations);
