// The product tree and the size roll-up.
#include "model/product_tree.h"

#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "sys/text.h"

namespace {

// Inserts `node` into the chain at `*head` in label order, after any nodes
// with an equal label.
void insert_in_label_order(RuntimeContext* rt, DisplayNode** head, DisplayNode* node) {
    DisplayNode** at = head;
    while (*at && *at != node && !product_label_before(rt, node->owner, (*at)->owner))
        at = &(*at)->next_sibling;
    if (*at == node) return;  // already in place
    node->next_sibling = *at;
    *at = node;
}

// The first product of the list whose name equals `name`.
Value find_product(RuntimeContext* rt, BiList* list, Value name) {
    for (BiNode* n = list->first; n; n = n->next)
        if (text_equal_nocase(field_text(rt, product_name(n->value)), field_text(rt, name)))
            return n->value;
    return 0;
}

void roll_up(RuntimeContext* rt, DisplayNode* node) {
    Product* p = product_record(node->owner);
    if (!p || !p->size_computed) return;
    uint64_t total = field_number_value(rt, p->size);
    for (DisplayNode* child = node->first_child; child; child = child->next_sibling) {
        roll_up(rt, child);
        total += field_number_value(rt, product_size(child->owner));
    }
    if (total > UINT32_MAX) return;  // never wrap: the size stays as it was
    Value made = field_number(rt, uint32_t(total));
    if (made) product_set_size(rt, node->owner, made);
}

}  // namespace

DisplayNode* product_tree_build(RuntimeContext* rt, BiList* list, std::string_view root_name,
                                bool mark_selection) {
    if (!list || !rt_usable(rt)) return nullptr;
    for (BiNode* n = list->first; n; n = n->next) {
        DisplayNode* node = product_node(n->value);
        if (!node) continue;
        node->next_sibling = node->first_child = nullptr;
        if (mark_selection) node->visible = 0;
    }
    DisplayNode* result = nullptr;
    for (BiNode* n = list->first; n; n = n->next) {
        DisplayNode* node = product_node(n->value);
        if (!node) continue;
        Value parent = find_product(rt, list, product_parent(n->value));
        if (DisplayNode* parent_node = product_node(parent)) {
            insert_in_label_order(rt, &parent_node->first_child, node);
        } else if (root_name.empty()) {
            insert_in_label_order(rt, &result, node);
        } else if (text_equal_nocase(field_text(rt, product_name(n->value)), root_name)) {
            result = node;
            if (mark_selection) node->selected = node->visible = 1;
        }
    }
    return result;
}

void product_sizes_roll_up(RuntimeContext* rt, DisplayNode* root, bool whole_chain) {
    if (!root || !rt_usable(rt)) return;
    if (!whole_chain) {
        roll_up(rt, root);
        return;
    }
    root->open = 1;
    for (DisplayNode* node = root; node; node = node->next_sibling) roll_up(rt, node);
}
