// Products: records, display nodes, comparison and the version product.
#include "model/product.h"

#include <iterator>
#include <new>

#include "model/fields.h"
#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/strings.h"
#include "runtime/values.h"
#include "sys/text.h"

namespace {

constexpr const char* VERSION_LABEL = "Installer Version";
constexpr const char* VERSION_DESCRIPTION =
    "This product is written automatically to a Product Enumeration Script for the "
    "Installer to use for forward compatibility checking.";

void release_fields(RuntimeContext* rt, std::initializer_list<Value> values) {
    for (Value v : values) value_release(rt, v);
}

// The display node of a new product; nullptr when memory runs out.
DisplayNode* node_create(RuntimeContext* rt, const Product& p, Value visible, Value selected,
                         Value open, Value owner) {
    auto* node = new (std::nothrow) DisplayNode;
    if (!node) return nullptr;
    node->name_text = field_text(rt, p.name);
    node->label_text = field_text(rt, p.interface_label);
    node->description_text = field_text(rt, p.description);
    node->version_text = field_text(rt, p.version);
    node->size_value = field_number_value(rt, p.size);
    node->owner = owner;
    node->visible = visible == 1;
    node->selected = selected == 1;
    node->open = open == 1;
    return node;
}

ResultCode release_hook(RuntimeContext* rt, Value v) {
    return product_destroy(rt, v);
}
bool equal_hook(RuntimeContext* rt, Value a, Value b) {
    return product_equal(rt, a, b);
}
// True when a's interface label sorts strictly after b's.
bool greater_hook(RuntimeContext* rt, Value a, Value b) {
    Product* pa = product_record(a);
    Product* pb = product_record(b);
    if (a == b || !pa || !pb) return false;
    return text_compare_nocase(field_text(rt, pa->interface_label),
                               field_text(rt, pb->interface_label)) > 0;
}

ResultCode replace(RuntimeContext* rt, Value* field, Value made) {
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    value_release(rt, *field);
    *field = made;
    return RC_OK;
}

}  // namespace

ResultCode product_register(RuntimeContext* rt) {
    ValueTypeOps ops{release_hook, product_copy, equal_hook, greater_hook};
    return value_register_type(rt, VT_PRODUCT, ops);
}

Value product_create(RuntimeContext* rt, Value name, Value number, Value parent, Value filename,
                     Value version, Value interface_label, Value location, Value size,
                     Value visible, Value selected, Value open, Value description, Value volume) {
    Value block = value_alloc(rt, sizeof(Product));
    SystemProduct* system = block ? system_product_create(rt, volume) : nullptr;
    if (!system) {
        if (block)
            value_free(rt, block);
        else
            value_release(rt, volume);
        release_fields(rt,
                       {number, filename, version, interface_label, location, size, description});
        return 0;
    }
    Product* p = value_record<Product>(block);
    *p = Product{name,     number, parent,      filename, version, interface_label,
                 location, size,   description, system,   nullptr, false};
    field_normalise_path(rt, p->location);
    p->node = node_create(rt, *p, visible, selected, open, block);
    if (!p->node) {
        release_fields(rt,
                       {number, filename, version, interface_label, location, size, description});
        system_product_destroy(rt, system);
        value_free(rt, block);
        return 0;
    }
    return value_set_type(rt, VT_PRODUCT, block, false);
}

Value product_copy(RuntimeContext* rt, Namespace* ns, Value product) {
    Product* p = product_record(product);
    if (!p || !rt_usable(rt)) return 0;
    auto intern = [&](Value atom) {
        return ns ? ns_intern_name(rt, ns, field_text(rt, atom)) : atom;
    };
    Product c{intern(p->name),
              field_copy(rt, p->number),
              intern(p->parent),
              field_copy(rt, p->filename),
              field_copy(rt, p->version),
              field_copy(rt, p->interface_label),
              field_copy(rt, p->location),
              field_copy(rt, p->size),
              field_copy(rt, p->description),
              system_product_copy(rt, p->volume),
              nullptr,
              p->size_computed};
    // The copy is whole or nothing: any part that could not be made fails it.
    bool complete = (!ns || (c.name && c.parent)) && (!p->volume || c.volume);
    const Value fields[] = {p->number,   p->filename, p->version,    p->interface_label,
                            p->location, p->size,     p->description};
    const Value copies[] = {c.number,   c.filename, c.version,    c.interface_label,
                            c.location, c.size,     c.description};
    for (size_t i = 0; complete && i < std::size(fields); ++i)
        complete = !field_copy_failed(fields[i], copies[i]);
    Value block = complete ? value_alloc(rt, sizeof(Product)) : 0;
    if (!block) {
        release_fields(rt, {c.number, c.filename, c.version, c.interface_label, c.location, c.size,
                            c.description});
        system_product_destroy(rt, c.volume);
        return 0;
    }
    *value_record<Product>(block) = c;
    return value_set_type(rt, VT_PRODUCT, block, false);
}

Value product_copy_displayed(RuntimeContext* rt, Value product) {
    Value copy = product_copy(rt, nullptr, product);
    Product* c = product_record(copy);
    if (!c) return 0;
    c->node = node_create(rt, *c, product_visible(product), product_selected(product),
                          product_open(product), copy);
    if (!c->node) {
        product_destroy(rt, copy);
        return 0;
    }
    return copy;
}

ResultCode product_destroy(RuntimeContext* rt, Value product) {
    Product* p = product_record(product);
    if (!p || !rt_usable(rt)) return RC_NO_OBJECT;
    release_fields(rt, {p->number, p->filename, p->version, p->interface_label, p->location,
                        p->size, p->description});
    system_product_destroy(rt, p->volume);
    delete p->node;
    return value_free(rt, value_unbox(product));
}

Product* product_record(Value product) {
    return value_is_real(product) ? value_record<Product>(value_unbox(product)) : nullptr;
}

#define PRODUCT_FIELD(field)                  \
    Value product_##field(Value product) {    \
        Product* p = product_record(product); \
        return p ? p->field : 0;              \
    }
PRODUCT_FIELD(name)
PRODUCT_FIELD(number)
PRODUCT_FIELD(parent)
PRODUCT_FIELD(filename)
PRODUCT_FIELD(version)
PRODUCT_FIELD(interface_label)
PRODUCT_FIELD(location)
PRODUCT_FIELD(size)
PRODUCT_FIELD(description)
#undef PRODUCT_FIELD

SystemProduct* product_volume(Value product) {
    Product* p = product_record(product);
    return p ? p->volume : nullptr;
}

DisplayNode* product_node(Value product) {
    Product* p = product_record(product);
    return p ? p->node : nullptr;
}

bool product_visible(Value product) {
    DisplayNode* n = product_node(product);
    return n && n->visible == 1;
}

bool product_selected(Value product) {
    DisplayNode* n = product_node(product);
    return n && n->selected == 1;
}

bool product_open(Value product) {
    DisplayNode* n = product_node(product);
    return n && n->open == 1;
}

ResultCode product_set_version(RuntimeContext* rt, Value product, Value version) {
    Product* p = product_record(product);
    return p ? replace(rt, &p->version, version) : RC_NO_OBJECT;
}

ResultCode product_set_size(RuntimeContext* rt, Value product, Value size) {
    Product* p = product_record(product);
    return p ? replace(rt, &p->size, size) : RC_NO_OBJECT;
}

void node_set_visible(DisplayNode* node, bool on) {
    if (node) node->visible = on;
}

void node_set_selected(DisplayNode* node, bool on) {
    if (node) node->selected = on;
}

void node_set_open(DisplayNode* node, bool on) {
    if (node) node->open = on;
}

bool product_equal(RuntimeContext* rt, Value a, Value b) {
    if (a == b) return true;
    Product* pa = product_record(a);
    Product* pb = product_record(b);
    if (!pa || !pb) return false;
    return text_equal_nocase(field_text(rt, pa->name), field_text(rt, pb->name)) &&
           field_number_value(rt, pa->number) == field_number_value(rt, pb->number);
}

bool product_label_before(RuntimeContext* rt, Value a, Value b) {
    Product* pa = product_record(a);
    Product* pb = product_record(b);
    if (a == b || !pa || !pb) return false;
    return text_compare_nocase(field_text(rt, pa->interface_label),
                               field_text(rt, pb->interface_label)) < 0;
}

Value version_product_create(RuntimeContext* rt, SymbolTable* atom_table, std::string_view version,
                             std::string_view name) {
    Value atom = atom_intern(rt, atom_table, name);
    Value root = atom_intern(rt, atom_table, "root");
    Value number = field_number(rt, 0), filename = field_string(rt, "");
    Value version_text = field_string(rt, version), label = field_string(rt, VERSION_LABEL);
    Value location = field_string(rt, ""), size = field_number(rt, 0);
    Value description = field_string(rt, VERSION_DESCRIPTION), volume = field_string(rt, "");
    if (!atom || !root || !number || !filename || !version_text || !label || !location || !size ||
        !description || !volume) {
        release_fields(
            rt, {number, filename, version_text, label, location, size, description, volume});
        return 0;
    }
    return product_create(rt, atom, number, root, filename, version_text, label, location, size, 0,
                          0, 0, description, volume);
}
