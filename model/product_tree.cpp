// The product tree and the size roll-up.
#include "model/product_tree.h"

#include <cassert>

#include "model/fields.h"
#include "runtime/bidirectional_lists.h"
#include "runtime/values.h"
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

// Rolls the sizes of `node`'s subtree up, children first. A product whose
// total does not fit 32 bits keeps its size and, when it is the first one,
// goes to *overflowed; the others still get their totals. Memory running
// out ends the roll-up.
ResultCode roll_up(RuntimeContext* rt, DisplayNode* node, Value* overflowed) {
    Product* p = product_record(node->owner);
    if (!p || !p->size_computed) return RC_OK;
    ResultCode result = RC_OK;
    uint64_t total = field_number_value(rt, p->size);
    for (DisplayNode* child = node->first_child; child; child = child->next_sibling) {
        ResultCode rc = roll_up(rt, child, overflowed);
        if (rc == RC_NO_OBJECT) return rc;
        if (result == RC_OK) result = rc;
        total += field_number_value(rt, product_size(child->owner));
    }
    if (total > UINT32_MAX) {  // never wrap: the size stays as it was
        if (!*overflowed) *overflowed = node->owner;
        return RC_SIZE_TOO_LARGE;
    }
    Value made = field_number(rt, uint32_t(total));
    if (!made) return RC_NO_OBJECT;
    if (product_set_size(rt, node->owner, made) != RC_OK) {
        value_release(rt, made);
        return RC_NO_OBJECT;
    }
    return result;
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

ResultCode product_sizes_roll_up(RuntimeContext* rt, DisplayNode* root, bool whole_chain,
                                 Value* overflowed) {
    Value first_overflow = 0;
    if (overflowed) *overflowed = 0;
    if (!rt_usable(rt)) return RC_NO_OBJECT;
    if (!root) return RC_OK;
    ResultCode result = RC_OK;
    if (!whole_chain) {
        result = roll_up(rt, root, &first_overflow);
    } else {
        root->open = 1;
        for (DisplayNode* node = root; node && result != RC_NO_OBJECT; node = node->next_sibling) {
            ResultCode rc = roll_up(rt, node, &first_overflow);
            if (result == RC_OK || rc == RC_NO_OBJECT) result = rc;
        }
    }
    assert((result == RC_SIZE_TOO_LARGE) == (first_overflow != 0) || result == RC_NO_OBJECT);
    if (overflowed) *overflowed = first_overflow;
    return result;
}
