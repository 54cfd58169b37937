// Products: the record a row of the product table becomes, its display node
// (visible, selected, open and the tree links), creation, copy, release,
// comparison by name and by interface label, and the version product.
#pragma once

#include <string>

#include "model/system_columns.h"
#include "runtime/runtime_context.h"

struct Product;

// The state the installer shows in its product tree, and the tree links.
struct DisplayNode {
    std::string name_text;
    std::string label_text;
    std::string description_text;
    std::string version_text;
    uint32_t size_value = 0;
    DisplayNode* next_sibling = nullptr;
    DisplayNode* first_child = nullptr;
    Value owner = 0;  // the product
    Value visible = 0;
    Value selected = 0;
    Value open = 0;
};

// A PRODUCT value's record. Every field value is owned by the product
// (atoms by their table).
struct Product {
    Value name;             // atom
    Value number;           // number
    Value parent;           // atom
    Value filename;         // string
    Value version;          // string
    Value interface_label;  // string
    Value location;         // string, "/" turned into "\" and trailing blanks cut
    Value size;             // number
    Value description;      // string
    SystemProduct* volume;
    DisplayNode* node;  // none in a copy
    // Set when this run computed `size` from the staging area; a size not
    // computed is already a total of the product's subtree.
    bool size_computed;
};

// Installs the product's release, copy, equality and order in the runtime.
ResultCode product_register(RuntimeContext* rt);

// Takes ownership of every value; the product (stamped PRODUCT) or 0, in
// which case the values have been released.
Value product_create(RuntimeContext* rt, Value name, Value number, Value parent, Value filename,
                     Value version, Value interface_label, Value location, Value size,
                     Value visible, Value selected, Value open, Value description, Value volume);
// A deep copy whose name and parent are interned afresh in `ns`; no display
// node, so its display booleans read false. 0 when any part cannot be
// copied (nothing of the copy is then left).
Value product_copy(RuntimeContext* rt, Namespace* ns, Value product);
// A deep copy (same atoms) with a display node of its own holding the
// three display booleans of `product`, and with its size counted as
// computed in this run when the product's is: a table of products that is
// built into a tree and rolled up apart from the product list. 0 when any
// part cannot be made.
Value product_copy_displayed(RuntimeContext* rt, Value product);
ResultCode product_destroy(RuntimeContext* rt, Value product);

Product* product_record(Value product);
Value product_name(Value product);
Value product_number(Value product);
Value product_parent(Value product);
Value product_filename(Value product);
Value product_version(Value product);
Value product_interface_label(Value product);
Value product_location(Value product);
Value product_size(Value product);
Value product_description(Value product);
SystemProduct* product_volume(Value product);
DisplayNode* product_node(Value product);
bool product_visible(Value product);
bool product_selected(Value product);
bool product_open(Value product);
// Replace the field (taking ownership of the new value) and release the old one.
ResultCode product_set_version(RuntimeContext* rt, Value product, Value version);
ResultCode product_set_size(RuntimeContext* rt, Value product, Value size);
void node_set_visible(DisplayNode* node, bool on);
void node_set_selected(DisplayNode* node, bool on);
void node_set_open(DisplayNode* node, bool on);

bool product_equal(RuntimeContext* rt, Value a, Value b);
bool product_label_before(RuntimeContext* rt, Value a, Value b);

// The synthetic product that records the installer version of the kit:
// `name` is the operating-system word followed by "instver". 0 when memory
// runs out.
Value version_product_create(RuntimeContext* rt, struct SymbolTable* atom_table,
                             std::string_view version, std::string_view name);
